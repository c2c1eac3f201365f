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
            raw = part.get_payload(decode=False).replace("\r\n", "\n")
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
                            part.get_content_type(), "part-%d" % n)
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
    with open(os.path.join(out, name + ".expect"), "w", encoding="utf-8", newline="\n") as f:
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


def hand_made(name, subject, content_type_line, body, atts, extra=()):
    head = ("From: ann@example.org\nTo: bob@example.org\nSubject: %s\n"
            "MIME-Version: 1.0\n%s\n\n" % (subject, content_type_line))
    data = (head + body).encode("latin-1")
    write(name, data, atts, extra=extra)


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

# No boundary at all.
hand_made("noboundary", "no boundary", "Content-Type: multipart/mixed",
          "--b\nContent-Type: text/plain\n\nlost\n--b--\n", [], extra=["error Boundary error"])

# Cut short inside a base64 attachment: the reader ends at ".".
cut = rand_bytes(600)
hand_made("truncated", "truncated", 'Content-Type: multipart/mixed; boundary="T"',
          "--T\nContent-Type: text/plain\n\nbefore the cut\n"
          "--T\nContent-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n"
          'Content-Disposition: attachment; filename="cut.bin"\n\n' + b64_lines(cut, 76) + "\n",
          [("cut.bin", cut)], extra=["partial"])
