"""Vocabulary of the synthetic store: people, companies, subjects and folder names."""

FIRST_NAMES = [
    "Anna", "Ben", "Carla", "David", "Elena", "Frank", "Greta", "Hannah", "Ivan", "Julia",
    "Karl", "Laura", "Marco", "Nina", "Oliver", "Paula", "Quentin", "Rosa", "Stefan", "Tanja",
    "Uwe", "Vera", "Walter", "Xenia", "Yusuf", "Zoe", "Jürgen", "Zoë", "Łukasz", "José",
    "François", "Søren", "Ángel", "Björn", "Ayşe", "Dmitri", "Mei", "Haruto", "Priya", "Noah",
]

LAST_NAMES = [
    "Adams", "Becker", "Castillo", "Dubois", "Eriksen", "Fischer", "García", "Hoffmann",
    "Ivanova", "Jansen", "Keller", "Lindqvist", "Müller", "Nowak", "O'Brien", "Petrov",
    "Quinn", "Rossi", "Schmidt", "Tanaka", "Urban", "Vogel", "Weber", "Xu", "Yilmaz",
    "Zimmermann", "Žukauskas", "Nørgaard", "Gonçalves", "Schäfer", "Kowalski", "Smith",
]

# Fictional organisations that run the mail server.
HOME_DOMAINS = [
    "altmark-logistik.de", "bluefin-marine.com", "cedar-analytics.net", "dorfner-bau.at",
    "elbsand-medien.de", "fjordline-consult.no", "granite-legal.co.uk", "helios-solar.eu",
    "ironwood-tools.com", "juniper-health.org", "kestrel-aviation.ch", "lumen-optik.de",
]

PARTNER_DOMAINS = [
    "gmail.com", "outlook.com", "gmx.de", "web.de", "yahoo.co.jp", "mail.ru", "orange.fr",
    "t-online.de", "icloud.com", "qq.com", "supplier-net.com", "example-bank.com",
    "steuerberatung-klein.de", "trade-partners.fr", "nordic-freight.se", "acme-industries.com",
]

RELAY_HOSTS = ["mx1", "mx2", "smtp", "mail", "out", "relay", "edge1", "mta7"]

STANDARD_FOLDERS = ["Sent Items", "Deleted Items", "Drafts", "Junk E-mail"]

# Personal folders; a tuple is a nested folder path below the mailbox.
CUSTOM_FOLDERS = [
    ("Archive",), ("Archive", "2019"), ("Archive", "2020"), ("Archive", "2021"),
    ("Projects",), ("Projects", "Harbour Crane"), ("Projects", "Website Relaunch"),
    ("Kunden",), ("Kunden", "Müller & Söhne"), ("Rechnungen",), ("Clients", "Société Générale"),
    ("Newsletters",), ("HR",), ("Reisen 2021",), ("Lieferanten", "Ägypten"), ("Personal",),
]

SUBJECT_TOPICS = [
    "Quarterly report", "Meeting on Thursday", "Invoice 2021-{n}", "Delivery schedule",
    "Contract draft v{n}", "Budget approval", "Site visit", "Travel arrangements",
    "Offer for order {n}", "Minutes of the board meeting", "Server maintenance window",
    "Holiday calendar", "Price list {n}", "Customs documents", "Project status week {n}",
    "Lunch next week?", "Your order #{n} has shipped", "Password change reminder",
    "Training dates", "Candidate interview feedback",
]

# (text, charset, method): subjects as mailers in those regions send them.
ENCODED_SUBJECTS = [
    ("Rückfrage zur Lieferung Nr. {n}", "iso-8859-1", "Q"),
    ("Größenänderung der Übersicht", "iso-8859-15", "Q"),
    ("Réunion de l'équipe – ordre du jour", "windows-1252", "Q"),
    ("Счёт на оплату N {n}", "koi8-r", "B"),
    ("Отчёт за квартал", "windows-1251", "B"),
    ("Отчёт за квартал {n}", "utf-8", "B"),
    ("会議の件について", "iso-2022-jp", "B"),
    ("見積書の送付について（{n}）", "shift_jis", "B"),
    ("季度报告 第{n}号", "gb2312", "B"),
    ("會議通知", "big5", "B"),
    ("Προσφορά για το έργο {n}", "iso-8859-7", "Q"),
    ("Faktura za usługi {n} - zażółć", "iso-8859-2", "Q"),
    ("Team lunch 🍕 on Friday", "utf-8", "B"),
    ("Zusammenfassung: Prüfbericht {n}", "utf-8", "Q"),
]

FILLER = (
    "the we will please find attached as discussed in our call yesterday regarding next "
    "steps for project timeline budget review customer feedback delivery warehouse invoice "
    "payment terms according to contract schedule meeting agenda team report quarter "
    "numbers forecast approval update changes thanks again best regards kind let me know "
    "if you have any questions further details below summary department office shipment "
    "order confirmation service support issue resolved pending open action items"
).split()

FILLER_DE = (
    "Sehr geehrte Damen und Herren vielen Dank für Ihre Nachricht anbei erhalten Sie die "
    "Unterlagen zur Prüfung bitte um Rückmeldung bis Ende der Woche Grüße Lieferung Größe "
    "Übersicht Bestätigung Änderungen Besprechung Qualität"
).split()

ATTACHMENT_TYPES = [
    # (extension, content type, leading magic bytes)
    ("pdf", "application/pdf", b"%PDF-1.7\n%\xe2\xe3\xcf\xd3\n"),
    ("jpg", "image/jpeg", b"\xff\xd8\xff\xe0\x00\x10JFIF\x00"),
    ("png", "image/png", b"\x89PNG\r\n\x1a\n"),
    ("docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document", b"PK\x03\x04"),
    ("xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet", b"PK\x03\x04"),
    ("zip", "application/zip", b"PK\x03\x04"),
    ("mp4", "video/mp4", b"\x00\x00\x00\x18ftypmp42"),
]

ATTACHMENT_STEMS = [
    "Report", "Scan_0042", "Rechnung März", "Photo", "Offer", "Präsentation", "data_export",
    "contract signed", "Lieferschein", "Invoice", "見積書", "Отчёт", "site plan", "backup",
]
