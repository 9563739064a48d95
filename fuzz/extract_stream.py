#!/usr/bin/env python3
"""Writes one stream of a compound file (a .grf) to a file, byte for byte.

Used once to turn the real .grf samples into raw "ActiveMovieGraph" seeds for the fuzzer;
the seeds are committed, so nothing at build or test time needs Python.

    extract_stream.py <file.grf> <out> [stream name, default ActiveMovieGraph]

Reads the version 3 and 4 layouts: header, DIFAT (header part and chained sectors), FAT,
directory, and the mini stream for streams below the cutoff. Only streams directly under
the root storage are looked up, which is where GraphEdit puts its one stream.
"""
import struct
import sys

FREE, END_OF_CHAIN = 0xFFFFFFFF, 0xFFFFFFFE
SIGNATURE = bytes.fromhex("D0CF11E0A1B11AE1")


class CompoundFile:
    def __init__(self, data):
        if data[:8] != SIGNATURE:
            raise ValueError("not a compound file")
        self.data = data
        self.sector_size = 1 << struct.unpack_from("<H", data, 0x1E)[0]
        self.mini_sector_size = 1 << struct.unpack_from("<H", data, 0x20)[0]
        (self.first_dir, ) = struct.unpack_from("<I", data, 0x30)
        (self.mini_cutoff, self.first_minifat, _, first_difat, difat_count) = struct.unpack_from("<IIIII", data, 0x38)
        self.fat = self._read_fat(first_difat, difat_count)
        self.entries = self._read_directory()
        root = self.entries[0]
        self.mini_stream = self._chain_bytes(root["start"], self.fat, self.sector_size, self._sector)[:root["size"]]
        minifat_bytes = self._chain_bytes(self.first_minifat, self.fat, self.sector_size, self._sector)
        self.minifat = list(struct.unpack_from("<%dI" % (len(minifat_bytes) // 4), minifat_bytes))

    def _sector(self, index):
        start = (index + 1) * self.sector_size
        if start >= len(self.data):
            raise ValueError("sector %d lies outside the file" % index)
        return self.data[start:start + self.sector_size]

    def _mini_sector(self, index):
        start = index * self.mini_sector_size
        return self.mini_stream[start:start + self.mini_sector_size]

    def _read_fat(self, first_difat, difat_count):
        fat_sectors = list(struct.unpack_from("<109I", self.data, 0x4C))
        per_sector = self.sector_size // 4 - 1  # the last entry chains to the next DIFAT sector
        sector = first_difat
        for _ in range(difat_count):
            entries = struct.unpack_from("<%dI" % (per_sector + 1), self._sector(sector))
            fat_sectors.extend(entries[:per_sector])
            sector = entries[per_sector]
        fat = []
        for index in fat_sectors:
            if index in (FREE, END_OF_CHAIN):
                continue
            fat.extend(struct.unpack_from("<%dI" % (self.sector_size // 4), self._sector(index)))
        return fat

    @staticmethod
    def _chain_bytes(start, table, size, read):
        out, seen, index = bytearray(), set(), start
        while index not in (FREE, END_OF_CHAIN):
            if index in seen or index >= len(table):
                raise ValueError("broken sector chain at %d" % index)
            seen.add(index)
            out += read(index)
            index = table[index]
        return bytes(out)

    def _read_directory(self):
        raw = self._chain_bytes(self.first_dir, self.fat, self.sector_size, self._sector)
        entries = []
        for at in range(0, len(raw), 128):
            name_bytes = struct.unpack_from("<H", raw, at + 64)[0]
            name = raw[at:at + max(name_bytes - 2, 0)].decode("utf-16-le")
            kind = raw[at + 66]
            start, size = struct.unpack_from("<IQ", raw, at + 116)
            if self.sector_size == 512:
                size &= 0xFFFFFFFF  # version 3 files leave the high half undefined
            entries.append({"name": name, "type": kind, "start": start, "size": size})
        return entries

    def stream(self, name):
        for entry in self.entries:
            if entry["type"] == 2 and entry["name"] == name:
                if entry["size"] < self.mini_cutoff:
                    data = self._chain_bytes(entry["start"], self.minifat, self.mini_sector_size, self._mini_sector)
                else:
                    data = self._chain_bytes(entry["start"], self.fat, self.sector_size, self._sector)
                if len(data) < entry["size"]:
                    raise ValueError("stream %s is shorter than its size" % name)
                return data[:entry["size"]]
        raise KeyError("no stream named %s" % name)


def main(argv):
    if len(argv) not in (3, 4):
        sys.stderr.write(__doc__)
        return 2
    name = argv[3] if len(argv) == 4 else "ActiveMovieGraph"
    with open(argv[1], "rb") as f:
        data = CompoundFile(f.read()).stream(name)
    with open(argv[2], "wb") as f:
        f.write(data)
    print("%s: %d bytes" % (argv[2], len(data)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
