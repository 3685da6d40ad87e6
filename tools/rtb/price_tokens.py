#!/usr/bin/env python3
"""Writes assets/rtb_price_tokens.txt: the RTB adapter's price-token table.

Line n (0 to 2000) is the 12-character token of the whole reduced price n. A token is the first 9 bytes
of HMAC-SHA256 under the local exchange's key over the price written "%f" ("900.000000"), in URL-safe
Base64. potemaru-peers' price-token service makes the tokens of other prices the same way, so a price
reads alike whichever way it was enciphered. Two runs write the same bytes.

    python3 tools/rtb/price_tokens.py            # rewrites assets/rtb_price_tokens.txt (or --out FILE)
"""
import argparse
import base64
import hashlib
import hmac
import os

KEY = b"potemaru-local-exchange"
COUNT = 2001


def token(price_text):
    digest = hmac.new(KEY, price_text.encode("ascii"), hashlib.sha256).digest()
    return base64.urlsafe_b64encode(digest[:9]).decode("ascii")


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.join(root, "assets", "rtb_price_tokens.txt"))
    args = parser.parse_args()
    lines = [token("%f" % n) for n in range(COUNT)]
    assert all(len(t) == 12 for t in lines) and len(set(lines)) == COUNT
    with open(args.out, "w", newline="\n") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
