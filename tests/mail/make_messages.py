#!/usr/bin/env python3
"""Writes test messages made by Python's email package, with what the body
reader should make of each one.

Usage: make_messages.py OUTDIR [BIG_BYTES]

For every message NAME it writes OUTDIR/NAME.eml (CR LF line ends, as a POP3
server sends it before dot-stuffing), OUTDIR/NAME.expect and the original
bytes of each attachment as OUTDIR/NAME.N.orig. The .expect lines are:
  subject TEXT        the Subject header
  parts N             number of text parts
  text LINE           one per expected line of the message text, in order
  att NAME ORIGFILE   one per stored attachment, in order (ORIGFILE relative)
  partial             the message is cut short: attachment bytes are a prefix
  error TEXT          the reader must fail with this text
"""
import os
import random
import sys
import email.header
import email.utils
from email import policy
from email.message import EmailMessage
from email.parser import BytesParser

out = sys.argv[1]
big = int(sys.argv[2]) if len(sys.argv) > 2 else 3 * 1024 * 1024
rng = random.Random(4711)
os.makedirs(out, exist_ok=True)


def rand_bytes(n):
    return bytes(rng.getrandbits(8) for _ in range(n)) if n < 65536 else rng.randbytes(n)


def crlf(text):
    return text.replace("\r\n", "\n").replace("\n", "\r\n")


def text_lines(raw):
    """The lines of a part body between its header block and the next
    separator, as the reader keeps them (the CR LF before a separator
    belongs to the separator)."""
    raw = raw.replace("\r\n", "\n")
    return [] if raw == "" else raw.split("\n")


def file_name(part):
    """The attachment name as Python reads it: RFC 2231 forms joined and
    decoded, then RFC 2047 encoded words decoded."""
    name = part.get_filename() or part.get_param("name")
    if isinstance(name, tuple):
        name = email.utils.collapse_rfc2231_value(name)
    if name:
        name = str(email.header.make_header(email.header.decode_header(name)))
    return name


def is_attachment(part):
    disp = (part.get("Content-Disposition") or "").split(";")[0].strip().lower()
    return disp == "attachment" or bool(file_name(part)) or part.get_content_maintype() != "text"


def leaves(part, group=0, counter=[0]):
    """(part, alternative group) of every leaf, in order; message/rfc822
    parts are leaves (their inside stays in the .eml)."""
    if part.is_multipart() and part.get_content_maintype() == "multipart":
        if part.get_content_type() == "multipart/alternative":
            counter[0] += 1
            group = counter[0]
        for sub in part.get_payload():
            yield from leaves(sub, group, counter)
    else:
        yield part, group


def decoded_text(part):
    raw = part.get_payload(decode=True) or b""
    cs = part.get_content_charset() or "us-ascii"
    if cs in ("iso-8859-1", "latin1"):
        cs = "windows-1252"
    try:
        return raw.decode(cs)
    except (LookupError, UnicodeDecodeError):
        return raw.decode("utf-8", "replace")


def shown_lines(text_parts):
    """The display: in each alternative group the plain versions, text of
    parts outside groups as it is; parts joined by one empty line."""
    groups = {}
    for part, g in text_parts:
        if g:
            groups.setdefault(g, []).append(part)
    chosen = []
    for part, g in text_parts:
        if g and part.get_content_type() != "text/plain" and any(
                p.get_content_type() == "text/plain" for p in groups[g]):
            continue
        chosen.append(part)
    lines = []
    for part in chosen:
        if part.get_content_type() == "text/html":
            return None  # the HTML conversion is checked by hand-made cases
        t = decoded_text(part).replace("\r\n", "\n").rstrip("\n")
        if not t.strip():
            continue
        if lines:
            lines.append("")
        lines += t.split("\n")
    return lines


def expected_from(msg_bytes):
    """Text parts, their lines and the attachments as Python's parser sees
    them."""
    parsed = BytesParser(policy=policy.compat32).parsebytes(msg_bytes)
    parts, lines, atts, text_parts = 0, [], [], []
    for part, group in leaves(parsed, 0, [0]):
        if not is_attachment(part) or (part is parsed and not parsed.get("Content-Type")):
            # The bytes as they arrived (the parser keeps 8-bit bytes as
            # surrogates), written back as they were.
            raw = part._payload.encode("ascii", "surrogateescape").decode("utf-8", "surrogateescape")
            raw = raw.replace("\r\n", "\n")
            if part is parsed and raw.endswith("\n"):
                raw = raw[:-1]  # no separator follows: the line end is the last line's
            parts += 1
            lines += text_lines(raw)
            text_parts.append((part, group))
        else:
            name = file_name(part)
            if not name:
                n = len(atts) + 1
                name = {"message/rfc822": "message-%d.eml" % n,
                        "message/delivery-status": "delivery-status-%d.txt" % n}.get(
                            part.get_content_type(), "part-%d" % n + {
                                "image/png": ".png", "application/octet-stream": ".bin"}.get(
                                    part.get_content_type(), ""))
            atts.append((name, part.get_payload(decode=True)))
    return parts, lines, atts, shown_lines(text_parts)


def write(name, data, atts=None, parts=None, lines=None, extra=(), show=None):
    if isinstance(data, str):
        data = data.encode("utf-8")
    data = crlf(data.decode("latin-1")).encode("latin-1")
    with open(os.path.join(out, name + ".eml"), "wb") as f:
        f.write(data)
    got_parts, got_lines, got_atts, got_show = expected_from(data)
    if parts is None:
        parts, lines = got_parts, got_lines
    if atts is None:
        atts = got_atts
    if show is None:
        show = got_show
    subject = BytesParser(policy=policy.compat32).parsebytes(data, headersonly=True)["Subject"]
    with open(os.path.join(out, name + ".expect"), "w", encoding="utf-8", errors="surrogateescape",
              newline="\n") as f:
        f.write("subject %s\n" % subject)
        f.write("parts %d\n" % parts)
        for line in lines:
            f.write("text %s\n" % line)
        if show is not None:
            f.write("shown\n")
            for line in show:
                f.write("show %s\n" % line)
        for i, (fname, payload) in enumerate(atts):
            orig = "%s.%d.orig" % (name, i)
            with open(os.path.join(out, orig), "wb") as g:
                g.write(payload)
            f.write("att %s %s\n" % (fname, orig))
        for e in extra:
            f.write(e + "\n")


def base_message(subject):
    m = EmailMessage()
    m["From"] = "Ann Example <ann@example.org>"
    m["To"] = "bob@example.org"
    m["Subject"] = subject
    m["Date"] = "Sun, 6 Dec 2026 23:17:43 +0100"
    return m


def smtp(m):
    return m.as_bytes(policy=policy.SMTP)


# A plain message whose body holds dot lines.
m = base_message("plain")
m.set_content("First line\n..two dots\n.\n.x\nlast\n")
write("plain", smtp(m), [])

# Text and binary attachments of awkward sizes.
atts = [("empty.bin", b""), ("one.bin", b"\x00"), ("fifty-seven.bin", rand_bytes(57)),
        ("big.bin", rand_bytes(big)), ("random.dat", rand_bytes(1000))]
m = base_message("mixed")
m.set_content("See the attachments.\nRegards\n")
for fname, payload in atts:
    m.add_attachment(payload, maintype="application", subtype="octet-stream", filename=fname)
# A text file attached is an attachment, not message text; on the wire its
# line ends are CR LF.
m.add_attachment("a text file\nwith two lines\n", subtype="plain", filename="notes.txt")
write("mixed", smtp(m), atts + [("notes.txt", b"a text file\r\nwith two lines\r\n")])

# Plain and HTML versions.
m = base_message("alternative")
m.set_content("plain version\n")
m.add_alternative("<p>html version</p>\n", subtype="html")
write("alternative", smtp(m), [])

# Alternative nested in mixed, with an attachment after it and a file name
# that needs RFC 2231.
zipbytes = rand_bytes(3000)
utf = rand_bytes(10)
m = base_message("nested")
m.set_content("plain body\n")
m.add_alternative("<b>html body</b>\n", subtype="html")
m.add_attachment(zipbytes, maintype="application", subtype="zip", filename="a.zip")
m.add_attachment(utf, maintype="application", subtype="octet-stream", filename="naïve.bin")
write("nested", smtp(m), [("a.zip", zipbytes), ("naïve.bin", utf)])

# Quoted-printable text, and a 7bit and a quoted-printable attachment
# decoded to what was attached (line ends as on the wire, CR LF).
m = base_message("qp7bit")
m.set_content("caf\u00e9 =\nand a very long line " + "x" * 100 + "\n", cte="quoted-printable")
seven = b"line one\r\nline two\r\n"
m.add_attachment(seven, maintype="application", subtype="octet-stream",
                 filename="seven.txt", cte="7bit")
qp = "caf\u00e9 = x\r\nend\r\n".encode("utf-8")
m.add_attachment(qp, maintype="application", subtype="octet-stream",
                 filename="qp.bin", cte="quoted-printable")
write("qp7bit", smtp(m), [("seven.txt", seven), ("qp.bin", qp)])


def hand_made(name, subject, content_type_line, body, atts, extra=(), **expected):
    head = ("From: ann@example.org\nTo: bob@example.org\nSubject: %s\n"
            "MIME-Version: 1.0\n%s\n\n" % (subject, content_type_line))
    data = (head + body).encode("latin-1")
    write(name, data, atts, extra=extra, **expected)


def b64_lines(payload, width):
    import base64
    enc = base64.b64encode(payload).decode()
    return "\n".join(enc[i:i + width] for i in range(0, len(enc), width))


# Base64 lines far longer than 76 characters (and than 340).
longbytes = rand_bytes(20000)
hand_made("longlines", "long lines", 'Content-Type: multipart/mixed; boundary="LL"',
          "--LL\nContent-Type: text/plain\n\nbody\n"
          "--LL\nContent-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n"
          'Content-Disposition: attachment; filename="long.bin"\n\n'
          + b64_lines(longbytes, 1000) + "\n\n--LL--\n", [("long.bin", longbytes)])

# Base64 running straight into the separator; a text part and a second
# attachment follow and must not be lost.
first, second = rand_bytes(300), rand_bytes(40)
hand_made("intoseparator", "into separator", 'Content-Type: multipart/mixed; boundary="S"',
          "--S\nContent-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n"
          'Content-Disposition: attachment; filename="first.bin"\n\n'
          + b64_lines(first, 76) + "\n--S\nContent-Type: text/plain\n\nafter\n"
          "--S\nContent-Type: application/octet-stream\nContent-Transfer-Encoding: BASE64\n"
          "Content-Disposition: attachment; filename=second.bin\n\n"
          + b64_lines(second, 76) + "\n--S--\n", [("first.bin", first), ("second.bin", second)])

# Boundary parameter followed by another parameter.
hand_made("boundaryparams", "boundary params",
          'Content-Type: multipart/mixed; boundary="x"; charset=us-ascii',
          "--x\nContent-Type: text/plain\n\nshown\n--x--\n", [])

# Parameter name in capitals, bare value; inner alternative boundary with a
# parameter before it.
hand_made("boundarycaps", "boundary caps", "Content-Type: Multipart/Mixed; Boundary=abc",
          "preamble\n--abc\nContent-Type: multipart/alternative; charset=x;\n boundary=inner\n\n"
          "--inner\nContent-Type: text/plain\n\nplain\n--inner\nContent-Type: text/html\n\n"
          "<i>html</i>\n--inner--\n--abc\nContent-Type: text/plain\n\nlast\n--abc--\nepilogue\n",
          [])

# Two blanks after the colon.
hand_made("twoblanks", "two blanks", 'Content-Type:  multipart/mixed; boundary="b2"',
          "--b2\nContent-Type:  text/plain\n\ntext\n--b2--\n", [])

# No boundary parameter: the body's separator lines announce it (Python's
# parser gives up on such a message).
hand_made("noboundary", "no boundary", "Content-Type: multipart/mixed",
          "--b\nContent-Type: text/plain\n\nlost\n--b--\n", [], parts=1, lines=["lost"], show=["lost"])

# Cut short inside a base64 attachment: the reader ends at ".".
cut = rand_bytes(600)
hand_made("truncated", "truncated", 'Content-Type: multipart/mixed; boundary="T"',
          "--T\nContent-Type: text/plain\n\nbefore the cut\n"
          "--T\nContent-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n"
          'Content-Disposition: attachment; filename="cut.bin"\n\n' + b64_lines(cut, 76) + "\n",
          [("cut.bin", cut)], extra=["partial"])


# Real-world shapes: what the reader stores is compared with what Python's
# parser reads (attachments decoded by it, or the bytes attached), and the
# shown text with the text written.
def cte_part(content_type, cte, payload, disposition=None, extra=""):
    """A hand-made part: headers, blank line, payload encoded as cte."""
    import base64 as b64
    import quopri
    head = "Content-Type: %s\n" % content_type
    if cte:
        head += "Content-Transfer-Encoding: %s\n" % cte
    if disposition:
        head += "Content-Disposition: %s\n" % disposition
    head += extra
    if cte == "base64":
        body = b64_lines(payload, 76)
    elif cte == "quoted-printable":
        body = quopri.encodestring(payload).decode("ascii")
    else:
        body = payload.decode("latin-1")
    return head + "\n" + body


def multipart(subtype, boundary, parts, params=""):
    body = "".join("--%s\n%s\n" % (boundary, p) for p in parts) + "--%s--\n" % boundary
    return 'multipart/%s; boundary="%s"%s' % (subtype, boundary, params), body


def as_part(ct_body):
    ct, body = ct_body
    return "Content-Type: %s\n\n%s" % (ct, body)


def raw_message(name, headers, ct_body, atts=None, show=None, extra=(), parts=None, lines=None):
    ct, body = ct_body
    data = headers + "MIME-Version: 1.0\nContent-Type: %s\n\n%s" % (ct, body)
    write(name, data.encode("latin-1"), atts, show=show, extra=extra, parts=parts, lines=lines)


png = rand_bytes(700)
pdf = rand_bytes(5000)
vcf = b"BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann\r\nEND:VCARD\r\n"
head = ("From: =?iso-8859-1?Q?J=F6rg_M=FCller?= <j@example.org>\nTo: b@example.org\n"
        "Subject: =?iso-8859-1?Q?Die_Hasen_und_die_Fr=F6sche?=\nDate: Mon, 7 Dec 2026 08:00:00 +0000\n")

# mixed > related > alternative, with an inline image, a PDF, a vCard in
# quoted-printable and a text file in base64 named by Content-Type only.
alt = multipart("alternative", "alt1", [
    cte_part("text/plain; charset=iso-8859-1", "quoted-printable",
             "Gr\xfc\xdfe aus K\xf6ln,\r\nein sehr langer Satz ".encode("latin-1") + b"x" * 90 + b"\r\n"),
    cte_part("text/html; charset=utf-8", "quoted-printable", "<p>Grüße</p>\r\n".encode())])
rel = multipart("related", "rel1", [as_part(alt),
    cte_part("image/png", "base64", png, "inline", "Content-ID: <img1@x>\n")], '; type="multipart/alternative"')
raw_message("outlook", head, multipart("mixed", "mix1", [as_part(rel),
    cte_part('application/pdf; name="report.pdf"', "base64", pdf, 'attachment; filename="report.pdf"'),
    cte_part('text/x-vcard; name="ann.vcf"', "quoted-printable", vcf, 'attachment; filename="ann.vcf"'),
    cte_part('text/plain; name="notes.txt"', "base64", b"notes\r\nline 2\r\n")]),
    show=["Grüße aus Köln,", "ein sehr langer Satz " + "x" * 90])

# signed > mixed (PGP/MIME): the text, an attachment, the signature.
sig = b"-----BEGIN PGP SIGNATURE-----\r\n\r\niQEzBAEBCAAdFiEE\r\n-----END PGP SIGNATURE-----\r\n"
inner = multipart("mixed", "in2", [cte_part("text/plain; charset=us-ascii", "7bit", b"signed text\r\n"),
    cte_part("application/octet-stream", "base64", pdf[:333], "attachment; filename=data.bin")])
raw_message("pgp", head, multipart("signed", "sig2", [as_part(inner),
    cte_part('application/pgp-signature; name="signature.asc"', "7bit", sig, "attachment")],
    '; protocol="application/pgp-signature"; micalg=pgp-sha256'))

# Alternative with only HTML: scripts and styles go, entities and links stay.
raw_message("htmlonly", head, multipart("alternative", "h1", [
    cte_part("text/html; charset=windows-1252", "quoted-printable",
             b"<html><head><style>p{}</style><script>x()</script></head><body>"
             b"<p>Caf\xe9 &amp; <b>more</b></p><div>see <a href=\"http://e.org/\">the site</a></div>"
             b"<ul><li>one</li><li>two</li></ul>line<br>break</body></html>\r\n")]),
    show=["Café & more", "", "see the site [http://e.org/]", "", "* one", "", "* two", "", "line", "break"])

# A forwarded message and a bounce: the inner messages become .eml files
# named after their Subject.
forwarded = "From: c@example.org\r\nSubject: inner\r\n\r\ninner body\r\n"
raw_message("forward", head, multipart("mixed", "f1", [
    cte_part("text/plain", None, b"see below\r\n"),
    "Content-Type: message/rfc822\n\n" + forwarded.replace("\r\n", "\n")]),
    atts=[("inner.eml", forwarded.encode())])
status = "Reporting-MTA: dns; mx.example.org\r\n\r\nFinal-Recipient: rfc822; x@example.org\r\nAction: failed\r\n"
raw_message("bounce", head, multipart("report", "r1", [
    cte_part("text/plain", None, b"Delivery failed.\r\n"),
    "Content-Type: message/delivery-status\n\n" + status.replace("\r\n", "\n"),
    "Content-Type: message/rfc822\n\n" + forwarded.replace("\r\n", "\n")], "; report-type=delivery-status"),
    atts=[("delivery-status-1.txt", status.encode()), ("inner.eml", forwarded.encode())])

# Every naming form, and every transfer encoding of an attachment.
blob = rand_bytes(400)
uu = "begin 644 u.bin\n" + "".join(
    chr(32 + len(blob[i:i + 45])) + "".join(
        chr(32 + (v or 64)) for v in [
            (int.from_bytes((blob[i + k:i + k + 3] + b"\0\0")[:3], "big") >> s) & 63
            for k in range(0, len(blob[i:i + 45]), 3) for s in (18, 12, 6, 0)]) + "\n"
    for i in range(0, len(blob), 45)) + "`\nend\n"
raw_message("names", head, multipart("mixed", "n1", [
    cte_part("text/plain", None, b"names\r\n"),
    cte_part("application/octet-stream", "base64", b"quoted", 'attachment; filename="quoted name.bin"'),
    cte_part("application/octet-stream", "base64", b"bare", "attachment; filename=bare.bin"),
    cte_part("application/octet-stream", "base64", b"star", "attachment; filename*=UTF-8''na%C3%AFve%20star.bin"),
    cte_part("application/octet-stream", "base64", b"cont",
             "attachment;\n filename*0*=iso-8859-1''Fr%F6sche%20;\n filename*1=\"und Hasen.txt\""),
    cte_part('application/octet-stream; name="by-type.bin"', "base64", b"type", None),
    cte_part("application/octet-stream", "base64", b"none", None),
    cte_part("application/octet-stream", "base64", b"ew",
             'attachment; filename="=?utf-8?B?w6ljb2xlLnR4dA==?="'),
    cte_part("application/octet-stream", "8bit", b"eight\r\nbit", "attachment; filename=8bit.bin"),
    "Content-Type: application/octet-stream\nContent-Transfer-Encoding: x-uuencode\n"
    "Content-Disposition: attachment; filename=u.bin\n\n" + uu]),
    atts=[("quoted name.bin", b"quoted"), ("bare.bin", b"bare"), ("naïve star.bin", b"star"),
          ("Frösche und Hasen.txt", b"cont"), ("by-type.bin", b"type"), ("part-6.bin", b"none"),
          ("école.txt", b"ew"), ("8bit.bin", b"eight\r\nbit"), ("u.bin", blob)])

# A message that is itself one attachment, and an S/MIME one.
for name, ct, disp in [("single", "image/png", 'attachment; filename="screenshot.png"'),
                       ("smime", 'application/pkcs7-mime; smime-type=enveloped-data; name="smime.p7m"',
                        'attachment; filename="smime.p7m"')]:
    data = head + "MIME-Version: 1.0\n" + cte_part(ct, "base64", png, disp)
    write(name, data.encode("latin-1"), [(ct.split('"')[1] if '"' in ct else "screenshot.png", png)])

# RFC 2231 boundary, a separator with text after it, no blank after a colon.
raw_message("oddforms", head.replace("Date: Mon, 7 Dec 2026 08:00:00 +0000", "Date: <HR>"),
            ("multipart/mixed; boundary*=''odd", "--odd this text is allowed\nContent-Type:text/plain\n\n"
             "kept\n--odd\nContent-Type:application/octet-stream\nContent-Transfer-Encoding:base64\n"
             "Content-Disposition:attachment; filename=o.bin\n\nb2Rk\n--odd--\n"),
            atts=[("o.bin", b"odd")], show=["kept"], parts=1, lines=["kept"])

# Text in several charsets and encodings, with encoded words in Q and B form.
def encoded_word(text, charset, form):
    import base64 as b64
    raw = text.encode(charset)
    if form == "B":
        return "=?%s?B?%s?=" % (charset, b64.b64encode(raw).decode())
    q = "".join(chr(c) if chr(c).isalnum() and c < 128 else "_" if c == 32 else "=%02X" % c for c in raw)
    return "=?%s?Q?%s?=" % (charset, q)


for name, charset, cte, form, words in [("utf8", "utf-8", "base64", "B", "Grüße, 日本語 ✓"),
                                        ("latin1", "iso-8859-1", "quoted-printable", "Q", "Déjà vu à Noël"),
                                        ("cp1252", "windows-1252", "8bit", "Q", "“Smart” quotes – €5"),
                                        ("koi8", "koi8-r", "8bit", "B", "Привет, мир"),
                                        ("jis", "iso-2022-jp", "7bit", "B", "こんにちは世界")]:
    body = (words + "\r\nsecond line\r\n").encode(charset)
    heads = ("From: %s <x@example.org>\nTo: b@example.org\nSubject: Re: %s %s\n"
             "Date: Sun, 6 Dec 2026 23:17:43 +0100\n" % (
                 encoded_word(words, charset, form), encoded_word(words[:3], charset, form),
                 encoded_word(words[3:], charset, form)))
    data = heads.encode() + b"MIME-Version: 1.0\n" + cte_part(
        "text/plain; charset=%s" % charset, cte, body).encode("latin-1")
    write(name, data, [], extra=["from %s <x@example.org>" % words, "subjshown Re: " + words])
