"""Facts of PE files read with the cross binutils' objdump: the import table,
the resources and the version information. Shared by the host tier and the
release package test."""

import re
import struct
import subprocess

# The DLLs that Windows 10 and 11 always map from System32, whatever folder a
# program starts from (HKLM\SYSTEM\CurrentControlSet\Control\Session
# Manager\KnownDLLs). Any other DLL imported by name is looked for in the
# program's folder first.
KNOWN_DLLS = {
    "advapi32.dll", "clbcatq.dll", "combase.dll", "comdlg32.dll", "coml2.dll", "difxapi.dll", "gdi32.dll",
    "gdiplus.dll", "imagehlp.dll", "imm32.dll", "kernel32.dll", "msctf.dll", "msvcrt.dll", "normaliz.dll", "nsi.dll",
    "ole32.dll", "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll", "setupapi.dll", "shcore.dll", "shell32.dll",
    "shlwapi.dll", "user32.dll", "wldap32.dll", "ws2_32.dll",
}


def objdump(tool, path, *options):
    return subprocess.run([tool, *options, path], capture_output=True, text=True, check=True).stdout


def imports(tool, path):
    """The names of the DLLs the file imports at load time, as written."""
    return re.findall(r"^\s*DLL Name: (\S+)$", objdump(tool, path, "-p"), re.M)


def check_imports(tool, path, beside=()):
    """The imported DLLs that are neither KnownDLLs nor named in `beside` (DLLs
    that ship in the program's folder by design); empty when all is well."""
    allowed = KNOWN_DLLS | {name.lower() for name in beside}
    return [name for name in imports(tool, path) if name.lower() not in allowed]


def read_resources(tool, path):
    """{(type, id, language): bytes} from the .rsrc section, read with objdump."""
    headers = objdump(tool, path, "-p")
    image_base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", headers, re.M).group(1), 16)
    dump = objdump(tool, path, "-s", "-j", ".rsrc")
    data, start = bytearray(), None
    for line in dump.splitlines():
        match = re.match(r"^ ([0-9a-f]{8,16}) ((?:[0-9a-f]{2,8} ){1,4})", line)
        if match:
            if start is None:
                start = int(match.group(1), 16)
            data += bytes.fromhex(match.group(2).replace(" ", ""))
    section_rva = start - image_base

    def directory(offset, path):
        named, numbered = struct.unpack_from("<HH", data, offset + 12)
        for entry in range(named + numbered):
            name, target = struct.unpack_from("<II", data, offset + 16 + 8 * entry)
            key = path + (name if not name & 0x80000000 else f"name@{name & 0x7FFFFFFF}",)
            if target & 0x80000000:
                yield from directory(target & 0x7FFFFFFF, key)
            else:
                rva, size = struct.unpack_from("<II", data, target)
                yield key, bytes(data[rva - section_rva:rva - section_rva + size])

    return dict(directory(0, ()))


def version_blocks(data, offset=0):
    """(key, value bytes, children) of one VS_VERSIONINFO-style block."""
    length, value_length, kind = struct.unpack_from("<HHH", data, offset)
    end = offset + length
    key_end = offset + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[offset + 6:key_end].decode("utf-16-le")
    position = (key_end + 2 + 3) & ~3
    size = value_length * 2 if kind == 1 else value_length
    value = data[position:position + size]
    position = (position + size + 3) & ~3
    children = []
    while position < end:
        child = version_blocks(data, position)
        children.append(child[:3])
        position = (position + child[3] + 3) & ~3
    return key, value, children, length


def version_info(tool, path):
    """(file version numbers as a 4-tuple, {string name: value}) of the version resource."""
    resources = read_resources(tool, path)
    key, fixed, children, _ = version_blocks(resources[(16, 1, 1033)])
    assert key == "VS_VERSION_INFO", key
    file_ms, file_ls = struct.unpack_from("<II", fixed, 8)
    tables = {child[0]: child for child in children}["StringFileInfo"][2]
    strings = {name: value.decode("utf-16-le").rstrip("\0") for name, value, _ in tables[0][2]}
    return (file_ms >> 16, file_ms & 0xFFFF, file_ls >> 16, file_ls & 0xFFFF), strings
