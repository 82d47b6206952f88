#!/usr/bin/python3
"""Reads a received mail as a standard mail reader does and prints what it
shows as JSON: subject, from, to, date, message id, the text of the body and
the attachments (file name, type); each attachment's decoded bytes are
written into the folder given second."""

import email
import email.policy
import json
import os
import sys


def main():
    source, folder = sys.argv[1], sys.argv[2]
    with open(source, "rb") as f:
        message = email.message_from_binary_file(f, policy=email.policy.default)
    body = message.get_body(preferencelist=("plain",))
    attachments = []
    for part in message.iter_attachments():
        name = part.get_filename()
        data = part.get_payload(decode=True)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        attachments.append({"filename": name, "type": part.get_content_type(),
                            "encoding": part.get("Content-Transfer-Encoding", ""),
                            "size": len(data)})
    json.dump({
        "subject": str(message["Subject"]),
        "from": [a.addr_spec for a in message["From"].addresses],
        "to": [a.addr_spec for a in message["To"].addresses],
        "date": message["Date"].datetime.isoformat() if message["Date"] else "",
        "message_id": str(message["Message-ID"] or ""),
        "mime_version": str(message["MIME-Version"] or ""),
        "body": body.get_content() if body is not None else None,
        "body_charset": body.get_content_charset() if body is not None else None,
        "attachments": attachments,
        "defects": [type(d).__name__ for d in message.defects],
    }, sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main()
