/* Message catalogue functions for the Windows build of GLib: no catalogues, the original text is the translation. */
#include "libintl.h"

#include <stddef.h>

static char CurrentDomain[] = "messages";

char *gettext(const char *MsgId) { return (char *)MsgId; }

char *dgettext(const char *Domain, const char *MsgId)
{
  (void)Domain;
  return (char *)MsgId;
}

char *dcgettext(const char *Domain, const char *MsgId, int Category)
{
  (void)Domain;
  (void)Category;
  return (char *)MsgId;
}

char *ngettext(const char *MsgId, const char *MsgIdPlural, unsigned long N)
{
  return (char *)(N == 1 ? MsgId : MsgIdPlural);
}

char *dngettext(const char *Domain, const char *MsgId, const char *MsgIdPlural, unsigned long N)
{
  (void)Domain;
  return ngettext(MsgId, MsgIdPlural, N);
}

char *dcngettext(const char *Domain, const char *MsgId, const char *MsgIdPlural, unsigned long N,
                 int Category)
{
  (void)Domain;
  (void)Category;
  return ngettext(MsgId, MsgIdPlural, N);
}

/* Callers only compare or print the names they get back, so the domain and folder are remembered by pointer. */
char *textdomain(const char *Domain) { return Domain ? (char *)Domain : CurrentDomain; }

char *bindtextdomain(const char *Domain, const char *Dir)
{
  (void)Domain;
  return (char *)Dir;
}

char *bind_textdomain_codeset(const char *Domain, const char *Codeset)
{
  (void)Domain;
  return (char *)Codeset;
}
