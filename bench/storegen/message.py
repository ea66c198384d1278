"""One Internet message as a mail server stores it: Received chain, server trace headers,
addresses, and a body of the requested kind (plain, html, attach, huge)."""
from . import encoding as enc
from . import words
from .bodies import html_page, text_body
from .layout import Folder, ascii_local
from .pool import Pool
from .rng import Rng

KIND_SIZES = {  # whole file for plain and html, each attachment for attach and huge
    "plain": (2 * 1024, 8 * 1024),
    "html": (10 * 1024, 50 * 1024),
    "attach": (50 * 1024, 2 * 1024 * 1024),
    "huge": (5 * 1024 * 1024, 20 * 1024 * 1024),
}

_DAYS = ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"]
_MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]
_ZONES = [60, 120, 0, -300, -240, 540, 330, 60, 120, 60]


def mail_date(epoch: int, zone_minutes: int) -> str:
    """RFC 5322 date of a UTC instant shown in the given zone (no locale, no tz database)."""
    t = epoch + zone_minutes * 60
    days, secs = divmod(t, 86400)
    weekday = _DAYS[(days + 3) % 7]  # 1970-01-01 was a Thursday
    y, m, d = _civil(days)
    sign = "+" if zone_minutes >= 0 else "-"
    z = abs(zone_minutes)
    return "%s, %02d %s %04d %02d:%02d:%02d %s%02d%02d" % (
        weekday, d, _MONTHS[m - 1], y, secs // 3600, secs // 60 % 60, secs % 60, sign, z // 60, z % 60)


def _civil(days: int):
    """Proleptic Gregorian date of a day count since 1970-01-01."""
    z = days + 719468
    era = z // 146097
    doe = z - era * 146097
    yoe = (doe - doe // 1460 + doe // 36524 - doe // 146096) // 365
    y = yoe + era * 400
    doy = doe - (365 * yoe + yoe // 4 - yoe // 100)
    mp = (5 * doy + 2) // 153
    d = doy - (153 * mp + 2) // 5 + 1
    m = mp + 3 if mp < 10 else mp - 9
    return (y + (m <= 2), m, d)


class Composer:
    def __init__(self, pool: Pool):
        self._pool = pool

    # -- people -----------------------------------------------------------------------------

    def _person(self, rng: Rng, domain: str = ""):
        first, last = rng.pick(words.FIRST_NAMES), rng.pick(words.LAST_NAMES)
        domain = domain or rng.pick(words.PARTNER_DOMAINS)
        return "%s %s" % (first, last), "%s@%s" % (ascii_local(first, last), domain)

    @staticmethod
    def _mailbox_text(display: str, address: str, rng: Rng) -> str:
        if display.isascii():
            return '"%s" <%s>' % (display, address) if rng.chance(0.5) else "%s <%s>" % (display, address)
        charset = "iso-8859-1" if _fits(display, "iso-8859-1") and rng.chance(0.5) else "utf-8"
        return "%s <%s>" % (enc.encoded_words(display, charset, rng.pick("QB")), address)

    # -- headers ----------------------------------------------------------------------------

    def _subject(self, rng: Rng) -> str:
        n = rng.between(100, 99999)
        prefix = rng.pick(["", "", "", "Re: ", "AW: ", "Fwd: ", "WG: ", "RE: "])
        if rng.chance(0.15):
            text, charset, method = rng.pick(words.ENCODED_SUBJECTS)
            return prefix + enc.encoded_words(text.format(n=n), charset, method)
        return prefix + rng.pick(words.SUBJECT_TOPICS).format(n=n)

    def _received_chain(self, rng: Rng, folder: Folder, sender_addr: str, number: int, epoch: int,
                        zone: int, outgoing: bool) -> list:
        box = folder.mailbox
        server = "%s.%s" % (rng.pick(words.RELAY_HOSTS), box.domain)
        ip = "%d.%d.%d.%d" % (rng.between(11, 223), rng.below(256), rng.below(256), rng.between(1, 254))
        lines = []
        hops = 1 if outgoing else rng.between(2, 4)
        sender_domain = sender_addr.split("@")[1]
        t = epoch + hops * rng.between(1, 40)
        for hop in range(hops):
            if hop == 0:
                lines.append("Received: from %s (%s [%s])\r\n\tby %s (MDaemon PRO v21.5.2)\r\n"
                             "\twith ESMTPS id md5000%07d.msg\r\n\tfor <%s>; %s"
                             % (rng.pick(words.RELAY_HOSTS) + "." + sender_domain, "unknown" if rng.chance(0.2)
                                else "mail." + sender_domain, ip, server, number, box.address, mail_date(t, zone)))
            else:
                inner = "10.%d.%d.%d" % (rng.below(256), rng.below(256), rng.between(1, 254))
                lines.append("Received: from [%s] (helo=%s)\r\n\tby %s.%s with esmtpsa (TLS1.3:ECDHE_RSA_AES_256_GCM_SHA384:256)\r\n"
                             "\t(Exim 4.94.2)\r\n\tid 1l%s; %s"
                             % (inner, "client%d" % rng.below(100), rng.pick(words.RELAY_HOSTS), sender_domain,
                                "%08X-%04X" % (rng.below(1 << 32), rng.below(1 << 16)), mail_date(t, zone)))
            t -= rng.between(1, 40)
        lines.append("X-Spam-Processed: %s, %s\r\n\t(not processed: message from trusted or authenticated source)"
                     % (server, mail_date(epoch + 60, zone)) if outgoing else
                     "X-Spam-Processed: %s, %s\r\n\t(not processed: spam filter heuristics analysis disabled)"
                     % (server, mail_date(epoch + 60, zone)))
        lines.append("X-MDRemoteIP: %s" % ip)
        lines.append("X-MDHelo: %s" % server)
        lines.append("X-MDArrival-Date: %s" % mail_date(epoch + 60, zone))
        lines.append("X-Return-Path: %s" % sender_addr)
        lines.append("X-Envelope-From: %s" % sender_addr)
        lines.append("X-MDaemon-Deliver-To: %s" % box.address)
        if not outgoing and rng.chance(0.4):
            sig = enc.base64_lines(self._pool.slice(rng, 192)).decode("ascii").replace("\r\n", "")
            lines.append("DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=%s; s=s2021;\r\n"
                         "\th=from:to:subject:date:message-id;\r\n\tbh=%s;\r\n\tb=%s\r\n\t %s\r\n\t %s"
                         % (sender_domain, sig[:44], sig[44:120], sig[120:196], sig[196:256]))
        return lines

    def headers(self, rng: Rng, folder: Folder, number: int, epoch: int) -> list:
        box = folder.mailbox
        zone = rng.pick(_ZONES)
        outgoing = folder.kind in ("Sent Items", "Drafts")
        owner = self._mailbox_text(box.display, box.address, rng)
        others = [self._person(rng, box.domain if rng.chance(0.3) else "") for _ in range(rng.weighted([6, 2, 1, 1]) + 1)]
        if outgoing:
            sender_addr, from_text = box.address, owner
            to = [self._mailbox_text(d, a, rng) for d, a in others]
        else:
            sender = others[0]
            sender_addr, from_text = sender[1], self._mailbox_text(sender[0], sender[1], rng)
            to = [owner] + [self._mailbox_text(d, a, rng) for d, a in others[1:]]
        lines = [] if folder.kind == "Drafts" else ["Return-Path: <%s>" % sender_addr]
        if folder.kind != "Drafts":
            lines += self._received_chain(rng, folder, sender_addr, number, epoch, zone, outgoing)
        host = sender_addr.split("@")[1]
        lines.append("Message-ID: <%s@%s>" % (self._message_id_left(rng, epoch), host))
        lines.append("Date: %s" % mail_date(epoch, zone))
        lines.append("From: %s" % from_text)
        lines.append(enc.fold_addresses("To", to).decode())
        if rng.chance(0.25):
            cc = [self._mailbox_text(*self._person(rng), rng) for _ in range(rng.between(1, 4))]
            lines.append(enc.fold_addresses("Cc", cc).decode())
        if rng.chance(0.15 if outgoing else 0.02):
            bcc = [self._mailbox_text(*self._person(rng), rng) for _ in range(rng.between(1, 2))]
            lines.append(enc.fold_addresses("Bcc", bcc).decode())
        subject = self._subject(rng)
        lines.append("Subject: %s" % subject)
        if subject[:4] in ("Re: ", "AW: ", "RE: "):
            parent = "<%s@%s>" % (self._message_id_left(rng, epoch - 3600), rng.pick(words.PARTNER_DOMAINS))
            lines.append("In-Reply-To: %s" % parent)
            lines.append("References: <%s@%s>\r\n %s" % (self._message_id_left(rng, epoch - 7200), host, parent))
        lines.append(rng.pick(["X-Mailer: Microsoft Outlook 16.0", "X-Mailer: WorldClient 21.5.2",
                               "User-Agent: Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:78.0) Gecko/20100101 Thunderbird/78.14.0",
                               "X-Mailer: iPhone Mail (18G82)", "X-Priority: 3"]))
        lines.append("MIME-Version: 1.0")
        return lines

    @staticmethod
    def _message_id_left(rng: Rng, epoch: int) -> str:
        if rng.chance(0.5):
            return "%012x$%08x$%08x" % (epoch * 1000 + rng.below(1000), rng.below(1 << 32), rng.below(1 << 32))
        return "%x.%d.%s" % (rng.below(1 << 48), epoch, "JavaMail.app" if rng.chance(0.3) else "mail")

    # -- bodies -----------------------------------------------------------------------------

    def _boundary(self, rng: Rng) -> str:
        return "----=_NextPart_%03d_%04X_%08X.%08X" % (rng.below(1000), rng.below(1 << 16),
                                                     rng.below(1 << 32), rng.below(1 << 32))

    def _plain_part(self, rng: Rng, size: int, signer: str) -> bytes:
        style = rng.weighted([60, 25, 10, 5])
        if style == 0:
            text = text_body(rng, size, signer, german=False)
            head = "Content-Type: text/plain; charset=\"us-ascii\"\r\nContent-Transfer-Encoding: 7bit"
            body = enc.crlf_text(text, "ascii")
        elif style == 1:
            text = text_body(rng, int(size * 0.93), signer, german=True)
            head = "Content-Type: text/plain; charset=\"utf-8\"\r\nContent-Transfer-Encoding: quoted-printable"
            body = enc.quoted_printable(text, "utf-8")
        elif style == 2:
            text = text_body(rng, size, signer, german=True)
            charset = "ISO-8859-1" if _fits(text, "iso-8859-1") else "utf-8"
            head = "Content-Type: text/plain; charset=%s; format=flowed\r\nContent-Transfer-Encoding: 8bit" % charset
            body = enc.crlf_text(text, charset)
        else:
            text = text_body(rng, int(size * 0.74), signer, german=True)
            head = "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: base64"
            body = enc.base64_lines(text.encode("utf-8"))
        return head.encode() + b"\r\n\r\n" + body

    def _alternative_part(self, rng: Rng, size: int, signer: str) -> bytes:
        boundary = self._boundary(rng)
        plain_size = max(800, size // 5)
        plain = text_body(rng, plain_size, signer, german=rng.chance(0.3))
        html = html_page(rng, max(2000, size - plain_size - 600), signer)
        parts = [
            b"Content-Type: text/plain; charset=\"utf-8\"\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
            + enc.quoted_printable(plain, "utf-8"),
            b"Content-Type: text/html; charset=\"utf-8\"\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
            + enc.quoted_printable(html, "utf-8"),
        ]
        return _multipart("alternative", boundary, parts)

    def _attachment(self, rng: Rng, size: int) -> bytes:
        ext, ctype, magic = rng.pick(words.ATTACHMENT_TYPES)
        name = "%s.%s" % (rng.pick(words.ATTACHMENT_STEMS), ext)
        if name.isascii():
            params = 'name="%s"' % name, 'filename="%s"' % name
        elif rng.chance(0.5):
            params = 'name="%s"' % enc.encoded_words(name, "utf-8", "B"), enc.rfc2231_filename(name)
        else:
            word = enc.encoded_words(name, "utf-8", "B")
            params = 'name="%s"' % word, 'filename="%s"' % word
        head = ("Content-Type: %s;\r\n\t%s\r\nContent-Transfer-Encoding: base64\r\n"
                "Content-Disposition: attachment;\r\n\t%s\r\n\r\n" % (ctype, params[0], params[1]))
        return head.encode() + self._pool.base64_file(rng, size, magic)

    def _forwarded(self, rng: Rng, folder: Folder, number: int, epoch: int) -> bytes:
        inner = self.compose(rng, folder, number, "plain", epoch - 86400, size=rng.between(2048, 6144))
        return (b"Content-Type: message/rfc822\r\nContent-Disposition: attachment;\r\n\tfilename=\"Forwarded message.eml\"\r\n\r\n"
                + inner)

    def compose(self, rng: Rng, folder: Folder, number: int, kind: str, epoch: int, size: int = 0) -> bytes:
        head = "\r\n".join(self.headers(rng, folder, number, epoch)).encode("utf-8") + b"\r\n"
        signer = folder.mailbox.display
        low, high = KIND_SIZES[kind]
        if kind == "plain":
            target = size or rng.between(low, high)
            return head + self._plain_part(rng, max(400, target - len(head) - 120), signer)
        if kind == "html":
            target = rng.between(low, high)
            return head + self._alternative_part(rng, max(4000, target - len(head) - 400), signer)
        parts = [self._plain_part(rng, rng.between(600, 4000), signer) if rng.chance(0.5)
                 else self._alternative_part(rng, rng.between(6000, 20000), signer)]
        if kind == "attach":
            for _ in range(1 + rng.weighted([60, 30, 10])):
                parts.append(self._attachment(rng, rng.log_uniform(low, high)))
            if rng.chance(0.1):
                parts.append(self._forwarded(rng, folder, number, epoch))
        else:
            parts.append(self._attachment(rng, rng.log_uniform(low, high)))
        return head + _multipart("mixed", self._boundary(rng), parts)


def _multipart(subtype: str, boundary: str, parts: list) -> bytes:
    b = boundary.encode()
    out = [b"Content-Type: multipart/%s;\r\n\tboundary=\"%s\"\r\n\r\nThis is a multi-part message in MIME format.\r\n"
           % (subtype.encode(), b)]
    for p in parts:
        out.append(b"\r\n--" + b + b"\r\n" + p)
    out.append(b"\r\n--" + b + b"--\r\n")
    return b"".join(out)


def _fits(text: str, charset: str) -> bool:
    try:
        text.encode(charset)
        return True
    except UnicodeEncodeError:
        return False
