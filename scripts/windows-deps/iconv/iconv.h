/* Character set conversion for the Windows build of poppler's C++ interface: UTF-8, UTF-16LE and UTF-16BE only. */
#ifndef QUIRECAST_ICONV_H
#define QUIRECAST_ICONV_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void *iconv_t;

/* Names are matched without regard to case or dashes: "UTF-8", "UTF-16LE", "UTF-16BE". Others give
   (iconv_t)-1 with errno EINVAL. */
iconv_t iconv_open(const char *ToCode, const char *FromCode);

/* As POSIX iconv: converts whole characters only, stops with E2BIG, EILSEQ or EINVAL (an incomplete
   character at the end of the input) and leaves the pointers after the last character converted. */
size_t iconv(iconv_t Converter, char **In, size_t *InLeft, char **Out, size_t *OutLeft);

int iconv_close(iconv_t Converter);

#ifdef __cplusplus
}
#endif

#endif
