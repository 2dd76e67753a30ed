#!/usr/bin/env python3
"""Parses mail files with Python's email package and prints what it found as JSON.

For each file: the parser's defects, the decoded Subject, and every part (content type, charset,
transfer encoding, file name, Content-ID, decoded bytes in Base64 and the parser's defects), plus the
cid: references of the HTML parts that no part's Content-ID answers.
"""
import base64
import email
import email.policy
import json
import re
import sys


def describe(path):
    with open(path, 'rb') as f:
        raw = f.read()
    message = email.message_from_bytes(raw, policy=email.policy.default)
    parts = []
    content_ids = set()
    references = []
    for part in message.walk():
        entry = {
            'type': part.get_content_type(),
            'multipart': part.is_multipart(),
            'defects': [type(d).__name__ for d in part.defects],
        }
        if not part.is_multipart():
            payload = part.get_payload(decode=True) or b''
            entry['data'] = base64.b64encode(payload).decode('ascii')
            entry['charset'] = part.get_content_charset() or ''
            entry['cte'] = str(part.get('Content-Transfer-Encoding', '')).lower()
            entry['filename'] = part.get_filename() or ''
            content_id = str(part.get('Content-ID', '')).strip()
            entry['cid'] = content_id
            if content_id:
                content_ids.add(content_id.strip('<>'))
            if part.get_content_type() == 'text/html':
                references += [r.decode() for r in re.findall(rb'cid:([^"\'\s>]+)', payload)]
        parts.append(entry)
    return {
        'file': path,
        'defects': [type(d).__name__ for d in message.defects],
        'subject': str(message.get('Subject', '')),
        'parts': parts,
        'references': references,
        'unresolved': [r for r in references if r not in content_ids],
    }


if __name__ == '__main__':
    print(json.dumps([describe(p) for p in sys.argv[1:]]))
