"""Body texts of a requested size: letter-like plain text and an HTML page."""
from . import words
from .rng import Rng


def _sentence(rng: Rng, vocabulary) -> str:
    n = rng.between(6, 18)
    text = " ".join(rng.pick(vocabulary) for _ in range(n))
    return text[0].upper() + text[1:] + rng.pick([".", ".", ".", "?", "!"])


def _wrap(paragraph: str, width: int = 72) -> list:
    lines, line = [], ""
    for word in paragraph.split(" "):
        if line and len(line) + 1 + len(word) > width:
            lines.append(line)
            line = word
        else:
            line = word if not line else line + " " + word
    if line:
        lines.append(line)
    return lines


def text_body(rng: Rng, size: int, signer: str, german: bool) -> str:
    """About `size` characters: greeting, paragraphs, signature and, for replies, a quote."""
    vocabulary = words.FILLER + words.FILLER_DE if german else words.FILLER
    greeting = rng.pick(["Hello,", "Hi all,", "Dear colleagues,", "Guten Tag,", "Good morning,"])
    # Plain ASCII bodies cannot carry the signer's accented letters: drop them as mailers do.
    name = signer if german else signer.encode("ascii", "ignore").decode()
    signature = "\n-- \n%s\n%s\nPhone +49 30 %07d\n" % (name, rng.pick(words.HOME_DOMAINS), rng.below(10 ** 7))
    lines = [greeting, ""]
    used = len(greeting) + 2 + len(signature)
    quoting = rng.chance(0.3)
    while used < size:
        paragraph = " ".join(_sentence(rng, vocabulary) for _ in range(rng.between(2, 6)))
        for line in _wrap(paragraph, 70 if quoting and used > size // 2 else 72):
            if quoting and used > size // 2:
                line = "> " + line
            lines.append(line)
            used += len(line) + 1
        lines.append("")
        used += 1
    return "\n".join(lines) + signature


def html_page(rng: Rng, size: int, signer: str) -> str:
    """An HTML message as office mailers write it: styles, paragraphs and a table."""
    out = ["<html xmlns:o=\"urn:schemas-microsoft-com:office:office\">",
           "<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">",
           "<style><!-- p.MsoNormal { margin:0cm; font-size:11.0pt; font-family:\"Calibri\",sans-serif; }"
           " table.data { border-collapse:collapse; } td { border:1px solid #ccc; padding:2px 6px; } --></style>",
           "</head><body lang=\"DE\" link=\"#0563C1\">", "<div class=\"WordSection1\">"]
    used = sum(len(x) + 1 for x in out)
    while used < size - 200:
        if rng.chance(0.2):
            rows = ["<table class=\"data\">"]
            for r in range(rng.between(3, 12)):
                cells = "".join("<td>%d,%02d &euro;</td>" % (rng.below(100000), rng.below(100)) for _ in range(4))
                rows.append("<tr><td>Position %d</td>%s</tr>" % (r + 1, cells))
            rows.append("</table>")
            block = "\n".join(rows)
        else:
            block = "<p class=\"MsoNormal\">%s</p>" % " ".join(_sentence(rng, words.FILLER) for _ in range(rng.between(2, 5)))
        out.append(block)
        used += len(block) + 1
    out.append("<p class=\"MsoNormal\">Mit freundlichen Gr&uuml;&szlig;en<br>%s</p>" % signer)
    out.append("</div></body></html>")
    return "\n".join(out) + "\n"
