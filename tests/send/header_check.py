#!/usr/bin/env python3
"""Parses captured messages with Python's email package and prints their headers and structure as JSON.

For each file: every defect the parser found (message and parts), Date as ISO text, From and To as
[display name, address] pairs (a group's display name with no address), the decoded Subject,
Message-ID, X-URL and the content types of the parts in order.
"""
import email
import email.policy
import json
import sys


def mailboxes(header):
    if header is None:
        return []
    found = []
    for group in header.groups:
        if group.display_name is not None and not group.addresses:
            found.append([group.display_name, ''])
        for address in group.addresses:
            found.append([address.display_name, address.addr_spec])
    return found


def describe(path):
    with open(path, 'rb') as f:
        message = email.message_from_bytes(f.read(), policy=email.policy.default)
    defects = [type(d).__name__ for part in message.walk() for d in part.defects]
    date = message['Date']
    for name in ('Date', 'From', 'To', 'Subject', 'Message-ID'):
        if message[name] is not None:
            defects += [type(d).__name__ for d in message[name].defects]
    return {
        'file': path,
        'defects': defects,
        'date': date.datetime.isoformat() if date is not None and date.datetime else '',
        'from': mailboxes(message['From']),
        'to': mailboxes(message['To']),
        'subject': str(message.get('Subject', '')),
        'messageId': str(message.get('Message-ID', '')),
        'url': str(message.get('X-URL', '')),
        'types': [part.get_content_type() for part in message.walk()],
        'text': next((part.get_content() for part in message.walk()
                      if part.get_content_type() == 'text/plain'), ''),
    }


if __name__ == '__main__':
    print(json.dumps([describe(p) for p in sys.argv[1:]]))
