"""Wire encodings of Internet mail: encoded-words, quoted-printable and base64 bodies,
RFC 2231 parameters. Written here rather than taken from the email package so that the
bytes stay the same across Python versions."""
import base64
import binascii
import urllib.parse

CRLF = b"\r\n"

# Longest encoded-word a header may carry (RFC 2047 section 2).
_MAX_WORD = 75
_Q_LITERAL = set(b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!*+-/")


def _q_encode(data: bytes) -> str:
    out = []
    for b in data:
        if b == 0x20:
            out.append("_")
        elif b in _Q_LITERAL:
            out.append(chr(b))
        else:
            out.append("=%02X" % b)
    return "".join(out)


def encoded_words(text: str, charset: str, method: str) -> str:
    """`text` as one or more encoded-words, each under the length limit and each holding
    whole characters (a multibyte character never straddles two words)."""
    prefix = "=?%s?%s?" % (charset, method)
    budget = _MAX_WORD - len(prefix) - 2
    words, start = [], 0
    while start < len(text):
        end = start + 1
        best = None
        while end <= len(text):
            body = _encode_chunk(text[start:end], charset, method)
            if len(body) > budget:
                break
            best = (end, body)
            end += 1
        if best is None:  # a single character too long for a word cannot happen with these charsets
            raise ValueError("character %r does not fit an encoded-word" % text[start])
        start, body = best
        words.append(prefix + body + "?=")
    return "\r\n ".join(words)


def _encode_chunk(chunk: str, charset: str, method: str) -> str:
    data = chunk.encode(charset)
    if method == "B":
        return base64.b64encode(data).decode("ascii")
    return _q_encode(data)


def fold_addresses(name: str, addresses: list) -> bytes:
    """An address header with one address per line, as most mailers fold long lists."""
    return ("%s: %s" % (name, ",\r\n\t".join(addresses))).encode("utf-8")


def quoted_printable(text: str, charset: str) -> bytes:
    data = text.replace("\r\n", "\n").encode(charset)
    encoded = binascii.b2a_qp(data, quotetabs=False, istext=True, header=False)
    return encoded.replace(b"\n", CRLF)


def base64_lines(data: bytes) -> bytes:
    return base64.encodebytes(data).replace(b"\n", CRLF)


def crlf_text(text: str, charset: str) -> bytes:
    return text.replace("\r\n", "\n").replace("\n", "\r\n").encode(charset)


def rfc2231_filename(name: str) -> str:
    """filename*=utf-8''... for names outside ASCII, as modern mailers send them."""
    return "filename*=utf-8''" + urllib.parse.quote(name.encode("utf-8"), safe="")
