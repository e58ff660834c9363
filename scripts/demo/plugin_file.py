"""Which DLL the demo runs, and why a file given to --plugin cannot be the plugin, told before the
game starts. The file is read through scripts/dll_exports.py, only as far as the checks need."""

import os

from demo import places
from demo.places import dll_exports

# The export that the game's loader calls: bool Load(), as Microsoft's compiler names it.
LOAD_EXPORT = "?Load@@YA_NXZ"
NO_LOAD_EXPORT = "this DLL is not ConsoleRelay: it has no Load export"
IS_ZIP = "a ZIP; unpack it and give the DLL inside, nativePC/plugins/ConsoleRelay.dll"
# Where the plugin is in a folder given to --plugin, outside in: a game folder, its nativePC
# folder, its plugins folder.
PLUGIN_FOLDER_WAYS = (("nativePC", "plugins"), ("plugins",), ())
# How deep below a folder given to --plugin the demo looks: a whole disk given by mistake is not
# searched.
SEARCH_DEPTH = 3


def find_plugin(folder):
    """(the plugin in folder, None), or (None, why there is none): the folder's
    nativePC/plugins/ConsoleRelay.dll, plugins/ConsoleRelay.dll or ConsoleRelay.dll, else the one
    ConsoleRelay.dll a few folders down."""
    name = places.PLUGIN_NAME
    for way in PLUGIN_FOLDER_WAYS:
        found = places.folder_down(folder, way)
        found = found and places.same_name_in(found, name, os.path.isfile)
        if found:
            return found, None
    found = []
    for base, dirs, files in os.walk(folder):
        if base.count(os.sep) - folder.count(os.sep) >= SEARCH_DEPTH:
            dirs.clear()
        dirs.sort()
        found += [os.path.join(base, entry) for entry in sorted(files)
                  if entry.lower() == name.lower()]
    if len(found) == 1:
        return found[0], None
    if not found:
        return None, "a folder with no %s in it; give the DLL itself, or a game folder" % name
    return None, "a folder with %d copies of %s in it (%s); give the DLL itself" % (
        len(found), name, ", ".join(places.shown_path(path) for path in found))


def why_not_a_plugin(path):
    """Why the file at path cannot be the plugin, a 64-bit Windows DLL that exports Load; None
    when it can."""
    try:
        image = dll_exports.Image(path)
    except FileNotFoundError:
        return "no such file"
    except dll_exports.NotAFile as error:
        return str(error)
    except OSError as error:
        return "cannot be read (%s)" % error.strerror
    with image:
        if image.bytes_at(0, 4) == b"PK\x03\x04":
            return IS_ZIP
        try:
            headers = image.headers()
            if headers is None:
                return "not a Windows DLL"
            if not headers.is_dll:
                return "a Windows program, not a DLL"
            if headers.machine != dll_exports.MACHINE_X64:
                return "not a 64-bit DLL (the game is 64-bit)"
            image.check_sections(headers)
            exports = image.exported_names(headers)
        except dll_exports.NotReadable as error:
            return "a damaged DLL: %s" % error
        except OSError as error:
            return "cannot be read (%s)" % error.strerror
    if LOAD_EXPORT not in exports:
        return NO_LOAD_EXPORT
    return None
