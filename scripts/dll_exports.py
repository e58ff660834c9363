"""What the demo needs to know of a Windows image without running it: its headers (machine, DLL
or program, sections), whether its sections lie inside the file, and the names it exports, so
that it can tell the plugin from another file before it starts the game. Only a regular file is
read, and only those bytes, each within the file's size: a device or a FIFO would never end."""

import collections
import os
import stat
import struct

# The file header's characteristics bit that marks a DLL (IMAGE_FILE_DLL).
DLL_FLAG = 0x2000
MACHINE_X64 = 0x8664
# The optional header's magic of a 64-bit image; its data directories start 112 bytes in, those of
# a 32-bit image 96 bytes in.
PE32_PLUS = 0x20B
# No linker writes an export name this long; a longer one is a damaged table.
MAX_NAME_BYTES = 4096

Section = collections.namedtuple("Section", "name address size raw_offset raw_size")
Headers = collections.namedtuple("Headers", "machine is_dll exports sections")


class NotAFile(Exception):
    """The path names something that is no regular file: a folder, a device, a FIFO."""


class NotReadable(Exception):
    """The file is a damaged Windows image: its headers or export table cannot be read."""


def _what_it_is(mode):
    if stat.S_ISDIR(mode):
        return "a folder, not a file"
    if stat.S_ISCHR(mode) or stat.S_ISBLK(mode):
        return "a device, not a file"
    if stat.S_ISFIFO(mode):
        return "a FIFO (named pipe), not a file"
    return "not a regular file"


class Image:
    """A file opened for reading its image piece by piece, each piece within the file's size."""

    def __init__(self, path):
        # Without O_NONBLOCK, opening a FIFO waits for a writer.
        descriptor = os.open(path, os.O_RDONLY | getattr(os, "O_NONBLOCK", 0))
        try:
            status = os.fstat(descriptor)
            if not stat.S_ISREG(status.st_mode):
                raise NotAFile(_what_it_is(status.st_mode))
        except BaseException:
            os.close(descriptor)
            raise
        self.file = os.fdopen(descriptor, "rb")
        self.size = status.st_size

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.file.close()

    def bytes_at(self, offset, count):
        """Up to count bytes from offset on; fewer where the file ends."""
        if offset < 0 or offset >= self.size:
            return b""
        self.file.seek(offset)
        return self.file.read(min(count, self.size - offset))

    def unpack(self, offset, layout, where="its headers"):
        data = self.bytes_at(offset, struct.calcsize(layout))
        if len(data) < struct.calcsize(layout):
            raise NotReadable("it ends inside " + where)
        return struct.unpack(layout, data)

    def headers(self):
        """The image's headers; None when the file is no Windows image (no "MZ" at its start, or
        no "PE\\0\\0" where bytes 0x3C to 0x3F point)."""
        if self.bytes_at(0, 2) != b"MZ" or self.size < 0x40:
            return None
        (pe,) = self.unpack(0x3C, "<I")
        if self.bytes_at(pe, 4) != b"PE\0\0":
            return None
        # The file header: machine, section count, three fields the demo needs not, the optional
        # header's size and the characteristics.
        (machine, section_count, _, _, _, optional_size, characteristics) = self.unpack(
            pe + 4, "<HHIIIHH")
        optional = pe + 24
        (magic,) = self.unpack(optional, "<H")
        directories = optional + (112 if magic == PE32_PLUS else 96)
        (count,) = self.unpack(directories - 4, "<I")  # how many data directories there are
        exports = self.unpack(directories, "<II") if count else (0, 0)
        table = optional + optional_size
        sections = []
        for index in range(section_count):
            (name, size, address, raw_size, raw_offset) = self.unpack(
                table + 40 * index, "<8sIIII")
            sections.append(Section(name.rstrip(b"\0").decode("latin-1"), address, size,
                                    raw_offset, raw_size))
        return Headers(machine, bool(characteristics & DLL_FLAG), exports, sections)

    def check_sections(self, headers):
        """Raises NotReadable when a section's bytes, as the headers place them, run past the
        end of the file: a file cut short."""
        for section in headers.sections:
            end = section.raw_offset + section.raw_size
            if section.raw_size and end > self.size:
                over = end - self.size
                raise NotReadable("its section %s ends %d byte%s past the end of the file (cut "
                                  "short?)" % (section.name, over, "s" if over > 1 else ""))

    def exported_names(self, headers):
        """The names that the image exports, in its export table's order."""
        (export_rva, export_size) = headers.exports
        if export_rva == 0 or export_size == 0:
            return []

        def file_offset(rva):
            for section in headers.sections:
                if section.address <= rva < section.address + max(section.size,
                                                                  section.raw_size):
                    return rva - section.address + section.raw_offset
            raise NotReadable("its export table points outside its sections")

        directory = file_offset(export_rva)
        where = "its export table"
        (name_count,) = self.unpack(directory + 24, "<I", where)
        (names_rva,) = self.unpack(directory + 32, "<I", where)
        if not name_count:
            return []
        pointers = self.unpack(file_offset(names_rva), "<%dI" % name_count, where)
        return [self._c_string(file_offset(rva)) for rva in pointers]

    def _c_string(self, offset):
        data = self.bytes_at(offset, MAX_NAME_BYTES + 1)
        end = data.find(b"\0")
        if end < 0 and len(data) <= MAX_NAME_BYTES:
            raise NotReadable("an export name runs past the end of the file")
        if end < 0:
            raise NotReadable("an export name is longer than %d bytes" % MAX_NAME_BYTES)
        return data[:end].decode("latin-1")
