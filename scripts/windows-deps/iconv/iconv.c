/* A stateless converter between UTF-8, UTF-16LE and UTF-16BE, behind the POSIX iconv interface. */
#include "iconv.h"

#include <ctype.h>
#include <errno.h>
#include <stdint.h>

enum Encoding { Utf8, Utf16Le, Utf16Be, EncodingCount };

struct Pair {
  enum Encoding From;
  enum Encoding To;
};

/* Converters hold no state, so one shared, read-only descriptor per pair serves every caller. */
static const struct Pair Pairs[EncodingCount * EncodingCount] = {
    {Utf8, Utf8},    {Utf8, Utf16Le},    {Utf8, Utf16Be},    {Utf16Le, Utf8}, {Utf16Le, Utf16Le},
    {Utf16Le, Utf16Be}, {Utf16Be, Utf8}, {Utf16Be, Utf16Le}, {Utf16Be, Utf16Be}};

static int EncodingOf(const char *Name)
{
  char Plain[16];
  size_t Length = 0;
  if (!Name) return -1;
  for (; *Name; ++Name) {
    if (*Name == '-' || *Name == '_') continue;
    if (Length + 1 >= sizeof Plain) return -1;
    Plain[Length++] = (char)toupper((unsigned char)*Name);
  }
  Plain[Length] = '\0';
  static const char *const Names[EncodingCount] = {"UTF8", "UTF16LE", "UTF16BE"};
  for (int Index = 0; Index < EncodingCount; ++Index) {
    const char *A = Names[Index];
    const char *B = Plain;
    while (*A && *A == *B) ++A, ++B;
    if (*A == *B) return Index;
  }
  return -1;
}

iconv_t iconv_open(const char *ToCode, const char *FromCode)
{
  int To = EncodingOf(ToCode);
  int From = EncodingOf(FromCode);
  if (To < 0 || From < 0) {
    errno = EINVAL;
    return (iconv_t)-1;
  }
  return (iconv_t)&Pairs[From * EncodingCount + To];
}

int iconv_close(iconv_t Converter)
{
  (void)Converter;
  return 0;
}

/* Reads one character; returns the bytes it took, 0 for an incomplete character, -1 for an invalid one. */
static int Decode(enum Encoding From, const unsigned char *In, size_t Left, uint32_t *Code)
{
  if (From == Utf8) {
    unsigned char Lead = In[0];
    int Length;
    uint32_t Value, Least;
    if (Lead < 0x80) {
      *Code = Lead;
      return 1;
    } else if (Lead >= 0xC2 && Lead <= 0xDF) {
      Length = 2, Value = Lead & 0x1F, Least = 0x80;
    } else if (Lead >= 0xE0 && Lead <= 0xEF) {
      Length = 3, Value = Lead & 0x0F, Least = 0x800;
    } else if (Lead >= 0xF0 && Lead <= 0xF4) {
      Length = 4, Value = Lead & 0x07, Least = 0x10000;
    } else {
      return -1;
    }
    for (int Index = 1; Index < Length; ++Index) {
      if ((size_t)Index >= Left) return 0;
      if ((In[Index] & 0xC0) != 0x80) return -1;
      Value = (Value << 6) | (In[Index] & 0x3F);
    }
    if (Value < Least || Value > 0x10FFFF || (Value >= 0xD800 && Value <= 0xDFFF)) return -1;
    *Code = Value;
    return Length;
  }
  if (Left < 2) return 0;
  uint32_t First = From == Utf16Le ? (uint32_t)(In[0] | In[1] << 8) : (uint32_t)(In[0] << 8 | In[1]);
  if (First < 0xD800 || First > 0xDFFF) {
    *Code = First;
    return 2;
  }
  if (First > 0xDBFF) return -1;
  if (Left < 4) return 0;
  uint32_t Second = From == Utf16Le ? (uint32_t)(In[2] | In[3] << 8) : (uint32_t)(In[2] << 8 | In[3]);
  if (Second < 0xDC00 || Second > 0xDFFF) return -1;
  *Code = 0x10000 + ((First - 0xD800) << 10) + (Second - 0xDC00);
  return 4;
}

static void PutUnit(enum Encoding To, unsigned char *Out, uint32_t Unit)
{
  Out[To == Utf16Le ? 0 : 1] = (unsigned char)(Unit & 0xFF);
  Out[To == Utf16Le ? 1 : 0] = (unsigned char)(Unit >> 8);
}

/* Writes one character; returns the bytes written, or 0 when they do not fit. */
static int Encode(enum Encoding To, uint32_t Code, unsigned char *Out, size_t Left)
{
  if (To == Utf8) {
    int Length = Code < 0x80 ? 1 : Code < 0x800 ? 2 : Code < 0x10000 ? 3 : 4;
    if ((size_t)Length > Left) return 0;
    if (Length == 1) {
      Out[0] = (unsigned char)Code;
      return 1;
    }
    static const unsigned char LeadBits[5] = {0, 0, 0xC0, 0xE0, 0xF0};
    for (int Index = Length - 1; Index > 0; --Index) {
      Out[Index] = (unsigned char)(0x80 | (Code & 0x3F));
      Code >>= 6;
    }
    Out[0] = (unsigned char)(LeadBits[Length] | Code);
    return Length;
  }
  if (Code < 0x10000) {
    if (Left < 2) return 0;
    PutUnit(To, Out, Code);
    return 2;
  }
  if (Left < 4) return 0;
  Code -= 0x10000;
  PutUnit(To, Out, 0xD800 + (Code >> 10));
  PutUnit(To, Out + 2, 0xDC00 + (Code & 0x3FF));
  return 4;
}

size_t iconv(iconv_t Converter, char **In, size_t *InLeft, char **Out, size_t *OutLeft)
{
  if (Converter == (iconv_t)-1 || !Converter) {
    errno = EBADF;
    return (size_t)-1;
  }
  /* No shift state: a reset or a flush has nothing to do. */
  if (!In || !*In) return 0;
  const struct Pair *Pair = (const struct Pair *)Converter;
  const unsigned char *Source = (const unsigned char *)*In;
  unsigned char *Target = (unsigned char *)*Out;
  size_t SourceLeft = *InLeft;
  size_t TargetLeft = *OutLeft;
  size_t Result = 0;
  while (SourceLeft > 0) {
    uint32_t Code;
    int Read = Decode(Pair->From, Source, SourceLeft, &Code);
    if (Read <= 0) {
      errno = Read < 0 ? EILSEQ : EINVAL;
      Result = (size_t)-1;
      break;
    }
    int Written = Encode(Pair->To, Code, Target, TargetLeft);
    if (Written == 0) {
      errno = E2BIG;
      Result = (size_t)-1;
      break;
    }
    Source += Read, SourceLeft -= (size_t)Read;
    Target += Written, TargetLeft -= (size_t)Written;
  }
  *In = (char *)Source;
  *InLeft = SourceLeft;
  *Out = (char *)Target;
  *OutLeft = TargetLeft;
  return Result;
}
