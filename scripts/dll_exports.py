"""The names a Windows DLL exports, read from its export table without running it, so that the
demo can tell the plugin from another 64-bit DLL before it starts the game."""

import struct


class NotReadable(Exception):
    """The file is no Windows image whose export table can be read."""


def _at(data, offset, layout):
    if offset < 0 or offset + struct.calcsize(layout) > len(data):
        raise NotReadable("it ends inside its headers")
    return struct.unpack_from(layout, data, offset)


def _c_string(data, offset):
    end = data.find(b"\0", offset)
    if offset < 0 or end < 0:
        raise NotReadable("an export name runs past the end of the file")
    return data[offset:end].decode("latin-1")


def exported_names(data):
    """The names that the image in data (bytes) exports, in the table's order."""
    (pe_offset,) = _at(data, 0x3C, "<I")
    # After "PE\0\0": the file header (20 bytes), whose field at 16 is the optional header's size.
    (sections, _, _, _, optional_size, _) = _at(data, pe_offset + 4 + 2, "<HIIIHH")
    optional = pe_offset + 24
    (magic,) = _at(data, optional, "<H")
    # The data directories follow 112 bytes into a 64-bit optional header, 96 into a 32-bit one;
    # the export table is the first.
    directories = optional + (112 if magic == 0x20B else 96)
    (export_rva, export_size) = _at(data, directories, "<II")
    if export_rva == 0 or export_size == 0:
        return []
    table = optional + optional_size
    ranges = []
    for index in range(sections):
        (size, address, raw_size, raw_offset) = _at(data, table + 40 * index + 8, "<IIII")
        ranges.append((address, max(size, raw_size), raw_offset))

    def file_offset(rva):
        for address, size, raw_offset in ranges:
            if address <= rva < address + size:
                return rva - address + raw_offset
        raise NotReadable("its export table points outside its sections")

    directory = file_offset(export_rva)
    (name_count,) = _at(data, directory + 24, "<I")
    (names_rva,) = _at(data, directory + 32, "<I")
    names = file_offset(names_rva) if name_count else 0
    return [_c_string(data, file_offset(_at(data, names + 4 * i, "<I")[0]))
            for i in range(name_count)]
