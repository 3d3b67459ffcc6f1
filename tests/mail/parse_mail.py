#!/usr/bin/python3
"""Parses a stored mail with Python's email package and prints what the
tests check as JSON: raw header values in order, decoded headers, defects
(of the message and per header), content type, charset, transfer encoding
and the decoded body text."""
import email
import email.policy
import json
import sys

data = open(sys.argv[1], "rb").read()
msg = email.message_from_bytes(data, policy=email.policy.default)
raw = email.message_from_bytes(data, policy=email.policy.compat32)
out = {
    "raw_headers": [[k, v] for k, v in raw.items()],
    "headers": {k: str(v) for k, v in msg.items()},
    "defects": [type(d).__name__ for d in msg.defects],
    "header_defects": {k: [type(d).__name__ for d in getattr(v, "defects", ())] for k, v in msg.items()},
    "content_type": msg.get_content_type(),
    "charset": msg.get_content_charset(),
    "cte": msg.get("Content-Transfer-Encoding", ""),
    # Line ends as LF, whatever the wire used.
    "body": msg.get_content().replace("\r\n", "\n"),
}
json.dump(out, sys.stdout)
