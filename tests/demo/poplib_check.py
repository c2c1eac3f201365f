#!/usr/bin/env python3
"""Python's poplib against the demo mailbox: every command, RETR of the
attachment message byte for byte, deletion carried out at QUIT only, and the
refused login. Usage: poplib_check.py PORT RETR2_FILE FIRST_UID"""
import poplib
import sys

port, retr2, first_uid = int(sys.argv[1]), sys.argv[2], sys.argv[3]
want2 = open(retr2, "rb").read()


def check(cond, what):
    if not cond:
        sys.exit("failed: " + what)


p = poplib.POP3("127.0.0.1", port, timeout=10)
check(p.getwelcome().startswith(b"+OK"), "greeting")
p.user("demo")
p.pass_("demo")
count, octets = p.stat()
check(count == 3, "STAT count %d" % count)
_, listing, _ = p.list()
sizes = [int(l.split()[1]) for l in listing]
check(sum(sizes) == octets and sizes[1] == len(want2), "LIST sizes %s" % sizes)
check(p.list(2).split()[2] == str(len(want2)).encode(), "LIST 2")
_, uids, _ = p.uidl()
check(uids[0].split()[1] == first_uid.encode(), "UIDL %s" % uids)
_, lines, _ = p.retr(2)
check(b"\r\n".join(lines) + b"\r\n" == want2, "RETR 2 not byte-identical")
_, lines, _ = p.retr(1)  # poplib undoes the dot-stuffing
check(any(l.startswith(b".signature") for l in lines), "RETR 1 dot line")
_, top, _ = p.top(2, 0)
check(b"" in top and top[-1] == b"" and b"Subject: Two small files" in top, "TOP 2 0 %s" % top)
_, top, _ = p.top(1, 1)
check(top[-1].startswith(b"This mailbox"), "TOP 1 1 %s" % top[-2:])
check(p.noop().startswith(b"+OK"), "NOOP")
p.dele(1)
check(p.stat()[0] == 2, "STAT after DELE")
p.rset()
check(p.stat()[0] == 3, "STAT after RSET")
p.dele(1)
p.quit()

p = poplib.POP3("127.0.0.1", port, timeout=10)
p.user("demo")
p.pass_("demo")
check(p.stat()[0] == 2, "DELE carried out at QUIT")
p.quit()

p = poplib.POP3("127.0.0.1", port, timeout=10)
p.user("visitor")
try:
    p.pass_("demo")
    check(False, "the visitor logged in")
except poplib.error_proto as e:
    check(b"closed" in e.args[0], "refusal text %s" % e.args[0])
p.quit()
