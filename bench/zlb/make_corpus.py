#!/usr/bin/env python3
"""Writes a deterministic benchmark corpus of about SIZE_MB megabytes into FOLDER:
45 % text (German-looking words), 35 % already-compressed data (random bytes, as in JPEG or
ZIP files), 20 % many small text files of 1 to 8 KB."""

import os
import random
import sys

WORDS = ("Formular Feld Name Adresse senden und der die das Anfrage Kunde Bestellung Datum "
         "Telefon Strasse Ort Postleitzahl bitte danke Auswahl Eingabe Zeile Absatz "
         "Ueberschrift Text Mail Empfaenger Vantrel erstellen Vorschau Projekt").split()


def text_block(rng, size):
    words = rng.choices(WORDS, k=size // 6 + 16)
    lines = [" ".join(words[i:i + 12]) for i in range(0, len(words), 12)]
    return ("\n".join(lines)).encode("ascii")[:size]


def main(folder, size_mb):
    rng = random.Random(20261207)
    total = size_mb * 1000 * 1000
    os.makedirs(folder, exist_ok=True)
    text_dir, bin_dir, small_dir = (os.path.join(folder, d) for d in ("text", "binary", "small"))
    for d in (text_dir, bin_dir, small_dir):
        os.makedirs(d, exist_ok=True)
    written = 0
    i = 0
    while written < total * 45 // 100:
        size = rng.randint(1, 4) * 1000 * 1000
        with open(os.path.join(text_dir, "text%03d.txt" % i), "wb") as f:
            f.write(text_block(rng, size))
        written += size
        i += 1
    i = 0
    while written < total * 80 // 100:
        size = rng.randint(2, 8) * 1000 * 1000
        with open(os.path.join(bin_dir, "data%03d.bin" % i), "wb") as f:
            f.write(rng.randbytes(size))
        written += size
        i += 1
    i = 0
    while written < total:
        size = rng.randint(1000, 8000)
        sub = os.path.join(small_dir, "d%02d" % (i // 500))
        os.makedirs(sub, exist_ok=True)
        with open(os.path.join(sub, "s%05d.txt" % i), "wb") as f:
            f.write(text_block(rng, size))
        written += size
        i += 1


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]))
