"""Where the messages go: domains, mailboxes and folders of very different sizes, laid out
as a mail server keeps them (Users/<domain>/<mailbox>/<Folder>.IMAP/...)."""
import math
from dataclasses import dataclass, field

from . import words
from .rng import Rng

MESSAGES_PER_MAILBOX = 350
MAILBOXES_PER_DOMAIN = 60


@dataclass
class Mailbox:
    domain: str
    local: str
    display: str

    @property
    def address(self) -> str:
        return "%s@%s" % (self.local, self.domain)


@dataclass
class Folder:
    mailbox: Mailbox
    names: tuple          # folder path below the mailbox, e.g. ("Archive", "2020")
    weight: float
    count: int = 0
    relpath: str = field(default="")

    def __post_init__(self):
        parts = ["Users", self.mailbox.domain, self.mailbox.local]
        parts += [n + ".IMAP" for n in self.names]
        self.relpath = "/".join(parts)

    @property
    def kind(self) -> str:
        return self.names[0]


def ascii_local(first: str, last: str) -> str:
    table = str.maketrans({"ü": "ue", "ö": "oe", "ä": "ae", "ß": "ss", "ë": "e", "Ł": "L", "é": "e",
                           "ç": "c", "ø": "oe", "Á": "A", "á": "a", "ş": "s", "í": "i", "Ž": "Z",
                           "'": "", "Ø": "Oe", "Ç": "C", "Ö": "Oe", "Ü": "Ue", "Ä": "Ae"})
    text = ("%s.%s" % (first, last)).translate(table).lower()
    return "".join(c for c in text if c.isascii())


def make_mailboxes(rng: Rng, total_messages: int) -> list:
    count = max(2, math.ceil(total_messages / MESSAGES_PER_MAILBOX))
    domains = max(1, math.ceil(count / MAILBOXES_PER_DOMAIN))
    mailboxes, used = [], set()
    for i in range(count):
        base = words.HOME_DOMAINS[(i % domains) % len(words.HOME_DOMAINS)]
        cycle = (i % domains) // len(words.HOME_DOMAINS)
        domain = base if cycle == 0 else base.replace(".", "-%d." % cycle, 1)
        first, last = rng.pick(words.FIRST_NAMES), rng.pick(words.LAST_NAMES)
        local = ascii_local(first, last)
        n = 2
        while (domain, local) in used:
            local = "%s%d" % (ascii_local(first, last), n)
            n += 1
        used.add((domain, local))
        mailboxes.append(Mailbox(domain, local, "%s %s" % (first, last)))
    return mailboxes


def make_folders(rng: Rng, mailboxes: list) -> list:
    """Every mailbox has an Inbox and most the standard folders; some keep personal ones.
    Mailbox activity and folder sizes are heavy-tailed, as on real servers."""
    folders = []
    for box in mailboxes:
        activity = rng.pareto(1.3)
        folders.append(Folder(box, ("Inbox",), activity * 10.0))
        for name, share in zip(words.STANDARD_FOLDERS, (4.0, 2.0, 0.2, 0.8)):
            if rng.chance(0.85):
                folders.append(Folder(box, (name,), activity * share * rng.pareto(2.0)))
        for _ in range(rng.weighted([4, 3, 2, 1, 1])):
            names = rng.pick(words.CUSTOM_FOLDERS)
            if any(f.mailbox is box and f.names == names for f in folders[-12:]):
                continue
            folders.append(Folder(box, names, activity * rng.pareto(1.1)))
    return folders


def allocate(folders: list, total: int, large_folder: int) -> None:
    """Sets each folder's message count. The first Inbox takes `large_folder` messages; the
    rest are shared by weight with largest remainders, so the counts sum to `total`."""
    large = min(large_folder, total)
    folders[0].count = large
    rest = folders[1:]
    left = total - large
    weight = sum(f.weight for f in rest)
    shares = [(f.weight / weight) * left for f in rest]
    for f, s in zip(rest, shares):
        f.count = int(s)
    missing = left - sum(f.count for f in rest)
    by_remainder = sorted(range(len(rest)), key=lambda i: (-(shares[i] - int(shares[i])), i))
    for i in by_remainder[:missing]:
        rest[i].count += 1


def plan(rng: Rng, total: int, large_folder: int) -> list:
    """Non-empty folders in the order they are written."""
    mailboxes = make_mailboxes(rng.fork("mailboxes"), total)
    folders = make_folders(rng.fork("folders"), mailboxes)
    allocate(folders, total, large_folder)
    return sorted((f for f in folders if f.count > 0), key=lambda f: f.relpath)
