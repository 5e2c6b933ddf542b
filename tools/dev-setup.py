#!/usr/bin/env python3
"""Development helpers for scripts/run.sh.

  dev-setup.py ini-set FILE SECTION KEY VALUE
      Sets one key of an INI file, keeping every other line as it is.
  dev-setup.py token INI CALLBACK_URL
      Prints an HS256 access token for a test store, signed with the INI's
      [security] jwt_secret (or the gateway's built-in key), valid for 12 hours.
"""

import base64
import hashlib
import hmac
import json
import sys
import time

BUILT_IN_KEY = "Tm4hWq8ZxB2nLc7VpD5rKs9GyE3fJa6U"


def read_lines(path):
    try:
        with open(path, encoding="cp1252") as f:
            return f.read().splitlines()
    except FileNotFoundError:
        return []


def ini_get(path, section, key):
    current = None
    for line in read_lines(path):
        text = line.strip()
        if text.startswith("["):
            current = text[1:text.find("]")].strip().lower()
        elif current == section.lower() and "=" in text:
            name, value = text.split("=", 1)
            if name.strip().lower() == key.lower():
                return value.strip()
    return None


def ini_set(path, section, key, value):
    lines = read_lines(path)
    current, section_end, done = None, None, False
    for i, line in enumerate(lines):
        text = line.strip()
        if text.startswith("["):
            if current == section.lower() and section_end is None:
                section_end = i
            current = text[1:text.find("]")].strip().lower()
        elif current == section.lower() and "=" in text:
            if text.split("=", 1)[0].strip().lower() == key.lower():
                lines[i] = f"{key}={value}"
                done = True
    if not done:
        if current == section.lower() and section_end is None:
            section_end = len(lines)
        if section_end is None:
            lines += ["", f"[{section}]", f"{key}={value}"]
        else:
            while section_end > 0 and not lines[section_end - 1].strip():
                section_end -= 1
            lines.insert(section_end, f"{key}={value}")
    with open(path, "w", encoding="cp1252", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")


def b64url(data):
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode()


def token(ini, callback_url):
    key = (ini_get(ini, "security", "jwt_secret") or BUILT_IN_KEY).encode()
    claims = {
        "secctional_code": "1009",
        "ip_address": "127.0.0.1",
        "store_code": "00000001",
        "additional_parameters": "",
        "operator": "caixa 1",
        "sale_id": "1",
        "company_id": "1",
        "callback_url": callback_url,
        "exp": int(time.time()) + 12 * 3600,
    }
    header = {"alg": "HS256", "typ": "JWT"}
    signing_input = b64url(json.dumps(header).encode()) + "." + b64url(json.dumps(claims).encode())
    signature = hmac.new(key, signing_input.encode(), hashlib.sha256).digest()
    return signing_input + "." + b64url(signature)


def main(argv):
    if len(argv) == 6 and argv[1] == "ini-set":
        ini_set(*argv[2:])
    elif len(argv) == 4 and argv[1] == "token":
        print(token(argv[2], argv[3]))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
