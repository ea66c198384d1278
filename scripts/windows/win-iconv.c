/* The iconv GMime uses on Windows: GLib's iconv over the Windows code page API
 * (glib/win_iconv.c), built as a library of its own, plus decoding of UTF-7,
 * which that file does not do and older Outlook versions send in headers and
 * bodies. Every function is exported (the linker's default for a DLL that
 * marks none). */
#define iconv_open codepage_iconv_open
#define iconv_close codepage_iconv_close
#define iconv codepage_iconv
#include "win_iconv.c"
#undef iconv_open
#undef iconv_close
#undef iconv

/* An odd number: never the first word of a code page converter, which holds
 * its own (aligned) address. */
#define UTF7_MAGIC 0x55544637u

typedef struct {
    unsigned magic;
    int in_base64;     /* inside a "+...-" run */
    unsigned bits;     /* base64 bits not yet used */
    int nbits;
    unsigned high;     /* a high surrogate waiting for its low half */
} utf7_decoder;

static int
is_utf7 (const char *name)
{
    return _stricmp (name, "UTF-7") == 0 || _stricmp (name, "UTF7") == 0 ||
           _stricmp (name, "UNICODE-1-1-UTF-7") == 0 || _stricmp (name, "CP65000") == 0;
}

static int
is_utf7_decoder (iconv_t cd)
{
    return cd != (iconv_t) -1 && cd != NULL && ((utf7_decoder *) cd)->magic == UTF7_MAGIC;
}

iconv_t
iconv_open (const char *tocode, const char *fromcode)
{
    utf7_decoder *d;

    if (is_utf7 (tocode)) {       /* only read, never written */
        errno = EINVAL;
        return (iconv_t) -1;
    }
    if (!is_utf7 (fromcode))
        return codepage_iconv_open (tocode, fromcode);
    if (_stricmp (tocode, "UTF-8") != 0 && _stricmp (tocode, "UTF8") != 0) {
        errno = EINVAL;
        return (iconv_t) -1;
    }
    d = (utf7_decoder *) calloc (1, sizeof *d);
    if (d == NULL) {
        errno = ENOMEM;
        return (iconv_t) -1;
    }
    d->magic = UTF7_MAGIC;
    return (iconv_t) d;
}

int
iconv_close (iconv_t cd)
{
    if (!is_utf7_decoder (cd))
        return codepage_iconv_close (cd);
    free (cd);
    return 0;
}

static int
base64_value (unsigned char c)
{
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

/* Writes one code point as UTF-8; 0 when it does not fit. */
static size_t
put_utf8 (unsigned cp, char **out, size_t *left)
{
    unsigned char b[4];
    size_t n, i;

    if (cp < 0x80) { b[0] = cp; n = 1; }
    else if (cp < 0x800) { b[0] = 0xC0 | (cp >> 6); b[1] = 0x80 | (cp & 0x3F); n = 2; }
    else if (cp < 0x10000) {
        b[0] = 0xE0 | (cp >> 12); b[1] = 0x80 | ((cp >> 6) & 0x3F); b[2] = 0x80 | (cp & 0x3F); n = 3;
    } else {
        b[0] = 0xF0 | (cp >> 18); b[1] = 0x80 | ((cp >> 12) & 0x3F);
        b[2] = 0x80 | ((cp >> 6) & 0x3F); b[3] = 0x80 | (cp & 0x3F); n = 4;
    }
    if (*left < n)
        return 0;
    for (i = 0; i < n; ++i)
        (*out)[i] = (char) b[i];
    *out += n;
    *left -= n;
    return n;
}

/* Decodes as far as input and room allow; like iconv, stops with E2BIG when the
 * output is full, EINVAL when the input ends inside a "+" escape, EILSEQ on a
 * byte UTF-7 does not allow. */
static size_t
utf7_iconv (utf7_decoder *d, char **inbuf, size_t *inleft, char **outbuf, size_t *outleft)
{
    if (inbuf == NULL || *inbuf == NULL) {
        d->in_base64 = 0; d->bits = 0; d->nbits = 0; d->high = 0;
        return 0;
    }
    while (*inleft > 0) {
        unsigned char c = (unsigned char) **inbuf;
        int v = d->in_base64 ? base64_value (c) : -1;

        if (v >= 0) {
            unsigned unit;
            if (d->nbits + 6 < 16) {
                d->bits = (d->bits << 6) | (unsigned) v;
                d->nbits += 6;
                ++*inbuf; --*inleft;
                continue;
            }
            unit = (((d->bits << 6) | (unsigned) v) >> (d->nbits + 6 - 16)) & 0xFFFF;
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                d->high = unit;
            } else {
                unsigned cp = unit;
                if (unit >= 0xDC00 && unit <= 0xDFFF && d->high)
                    cp = 0x10000 + ((d->high - 0xD800) << 10) + (unit - 0xDC00);
                if (put_utf8 (cp, outbuf, outleft) == 0)
                    return (size_t) seterror (E2BIG);
                d->high = 0;
            }
            d->nbits = d->nbits + 6 - 16;
            d->bits = ((d->bits << 6) | (unsigned) v) & ((1u << d->nbits) - 1);
            ++*inbuf; --*inleft;
            continue;
        }
        if (d->in_base64) {
            /* Any other byte ends the run; a '-' is swallowed with it. */
            d->in_base64 = 0; d->bits = 0; d->nbits = 0;
            if (c == '-') {
                ++*inbuf; --*inleft;
                continue;
            }
        }
        if (c == '+') {
            if (*inleft < 2)
                return (size_t) seterror (EINVAL);
            if ((*inbuf)[1] == '-') {
                if (put_utf8 ('+', outbuf, outleft) == 0)
                    return (size_t) seterror (E2BIG);
                *inbuf += 2; *inleft -= 2;
                continue;
            }
            d->in_base64 = 1;
            ++*inbuf; --*inleft;
            continue;
        }
        if (c >= 0x80)
            return (size_t) seterror (EILSEQ);
        if (put_utf8 (c, outbuf, outleft) == 0)
            return (size_t) seterror (E2BIG);
        ++*inbuf; --*inleft;
    }
    return 0;
}

size_t
iconv (iconv_t cd, char **inbuf, size_t *inbytesleft, char **outbuf, size_t *outbytesleft)
{
    if (is_utf7_decoder (cd))
        return utf7_iconv ((utf7_decoder *) cd, inbuf, inbytesleft, outbuf, outbytesleft);
    return codepage_iconv (cd, inbuf, inbytesleft, outbuf, outbytesleft);
}
