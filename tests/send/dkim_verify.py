#!/usr/bin/python3
"""Verifies the DKIM signature of each message file with dkimpy, the public key given instead of DNS.

usage: dkim_verify.py 'v=DKIM1; k=...; p=...' FILE...   prints one line per file: "pass" or "fail"
With --alter, one byte of the body is changed before verifying; with --add-from, a second From is put on top.
"""
import sys

import dkim

args = sys.argv[1:]
alter = args[0] if args[0] in ("--alter", "--add-from") else None
if alter:
    args = args[1:]
record = args[0].encode()


def dns(name, timeout=5):
    return record


for path in args[1:]:
    with open(path, "rb") as f:
        # A maildir keeps lines with LF alone; on the wire they end in CR LF.
        message = f.read().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
    if alter == "--add-from":
        message = b"From: <someone@elsewhere.test>\r\n" + message
    elif alter:
        at = message.index(b"\r\n\r\n") + 4
        message = message[:at] + (b"X" if message[at:at + 1] != b"X" else b"Y") + message[at + 1:]
    try:
        ok = dkim.verify(message, dnsfunc=dns)
    except Exception as error:  # a malformed signature is a failure too
        print("error", error, file=sys.stderr)
        ok = False
    print("pass" if ok else "fail")
