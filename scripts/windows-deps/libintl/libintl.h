/* Message catalogue interface for the Windows build of GLib: Quirecast ships no translations, so every call returns the text it is given. */
#ifndef QUIRECAST_LIBINTL_H
#define QUIRECAST_LIBINTL_H

#include <locale.h>

/* The C runtime of Windows has no LC_MESSAGES; GNU gettext uses this value for it. */
#ifndef LC_MESSAGES
#define LC_MESSAGES 1729
#endif

#if defined(__GNUC__)
#define QUIRECAST_INTL_FORMAT(N) __attribute__((__format_arg__(N)))
#else
#define QUIRECAST_INTL_FORMAT(N)
#endif

#ifdef __cplusplus
extern "C" {
#endif

char *gettext(const char *MsgId) QUIRECAST_INTL_FORMAT(1);
char *dgettext(const char *Domain, const char *MsgId) QUIRECAST_INTL_FORMAT(2);
char *dcgettext(const char *Domain, const char *MsgId, int Category) QUIRECAST_INTL_FORMAT(2);
char *ngettext(const char *MsgId, const char *MsgIdPlural, unsigned long N)
    QUIRECAST_INTL_FORMAT(1) QUIRECAST_INTL_FORMAT(2);
char *dngettext(const char *Domain, const char *MsgId, const char *MsgIdPlural, unsigned long N)
    QUIRECAST_INTL_FORMAT(2) QUIRECAST_INTL_FORMAT(3);
char *dcngettext(const char *Domain, const char *MsgId, const char *MsgIdPlural, unsigned long N,
                 int Category) QUIRECAST_INTL_FORMAT(2) QUIRECAST_INTL_FORMAT(3);
char *textdomain(const char *Domain);
char *bindtextdomain(const char *Domain, const char *Dir);
char *bind_textdomain_codeset(const char *Domain, const char *Codeset);

#ifdef __cplusplus
}
#endif

#endif
