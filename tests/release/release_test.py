#!/usr/bin/env python3
"""Release tier: the zip tools/release wrote, unpacked and checked as a user
would receive it.

  - two builds of the same commit (in different folders) give the same bytes;
  - the file list, the SHA256SUMS inside and beside the zip, README.txt;
  - the PE facts of the programs (x86-64, subsystem, no time stamp, no
    symbols, imports only KnownDLLs and the loader, version = the zip's) and of
    WebView2Loader.dll (x64 DLL, Microsoft's signed file from the pinned
    package, exporting the one function the program imports);
  - host/webview2.h against Microsoft's WebView2.h from the same package;
  - under Wine and Xvfb, with no WebView2 Runtime in the prefix: the unpacked
    program beside the real loader shows the "no runtime" box and exits with
    1, loading none of the DLLs planted beside it.

usage: release_test.py --zip ZIP --again ZIP --package DIR --expect-cli yes|no
                       --objdump OBJDUMP --box-reader EXE --planted DLL
                       --abi-ours EXE --abi-sdk EXE --work DIR
"""

import argparse
import hashlib
import os
import re
import shutil
import subprocess
import sys
import time
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "host"))
import pe_facts  # noqa: E402

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
CAPTION = "Quarnfeld Optimizer"
LICENCES = ["licenses/JetBrainsMono-OFL.txt", "licenses/MinGW-w64-runtime.txt", "licenses/Syne-OFL.txt",
            "licenses/WebView2Loader-LICENSE.txt", "licenses/WebView2Loader-NOTICE.txt"]
NO_RUNTIME = ("Для окна программы нужна среда Microsoft Edge WebView2 Runtime, но она не установлена или не "
              "запускается.\\nThe program's window needs the Microsoft Edge WebView2 Runtime, which is missing or does "
              "not start.\\n\\nhttps://developer.microsoft.com/microsoft-edge/webview2/\\n\\n(0x")
PLANTED = ("dwmapi.dll", "dxgi.dll")


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def read(path):
    with open(path, "rb") as file:
        return file.read()


def check_sums(listing, files, what):
    """`listing` (sha256sum's format) names exactly `files` ({name: bytes}), each with its sum."""
    lines = listing.decode("ascii").splitlines()
    named = dict(reversed(line.split("  ", 1)) for line in lines)
    check(len(named) == len(lines) and sorted(named) == sorted(files), f"{what} lists {sorted(named)}")
    for name, data in files.items():
        check(named[name] == sha256(data), f"{what}: the sum of {name} does not match")


def check_same_bytes(args):
    first, second = read(args.zip), read(args.again)
    check(first == second, f"two builds of the same commit gave different zips ({len(first)} and {len(second)} bytes)")
    return f"{len(first)} bytes, SHA-256 {sha256(first)}"


def check_zip(args):
    zip_bytes = read(args.zip)
    name = os.path.basename(args.zip)
    version = re.fullmatch(r"QuarnfeldOptimizer-(\d+\.\d+\.\d+)-x64\.zip", name)
    check(version, f"zip name {name}")
    check_sums(read(os.path.join(os.path.dirname(args.zip), "SHA256SUMS")), {name: zip_bytes}, "SHA256SUMS beside")

    with zipfile.ZipFile(args.zip) as archive:
        infos = archive.infolist()
        files = {info.filename: archive.read(info) for info in infos}
    programs = ["QuarnfeldOptimizer.exe"] + (["quarnfeld.exe"] if args.expect_cli == "yes" else [])
    expected = sorted(programs + ["README.txt", "SHA256SUMS", "WebView2Loader.dll"] + LICENCES)
    check(sorted(files) == expected, f"files {sorted(files)}")
    check(len({info.date_time for info in infos}) == 1, "entries with different times")
    check_sums(files["SHA256SUMS"], {n: d for n, d in files.items() if n != "SHA256SUMS"}, "SHA256SUMS inside")

    readme = files["README.txt"]
    check(readme.startswith(b"\xef\xbb\xbf") and b"\r\n" in readme and b"\n" not in readme.replace(b"\r\n", b""),
          "README.txt is not UTF-8 with a byte order mark and CRLF line ends")
    text = readme.decode("utf-8-sig")
    check("{" not in text and f"QuarnfeldOptimizer-{version.group(1)}-x64.zip" in text, "README.txt not filled in")
    check("ЗАПУСК" in text and "RUNNING IT" in text, "README.txt is not in Russian and English")
    check(files["licenses/WebView2Loader-LICENSE.txt"] == read(os.path.join(args.package, "LICENSE.txt")),
          "the loader's licence is not the package's")
    for licence in LICENCES:
        check(len(files[licence]) > 1000, f"{licence} is (nearly) empty")
    return version.group(1), files


def check_program(args, path, version, subsystem, beside):
    header = pe_facts.objdump(args.objdump, path, "-f")
    check("architecture: i386:x86-64" in header, f"{path}: not x86-64")
    private = pe_facts.objdump(args.objdump, path, "-p")
    check(re.search(rf"^Subsystem\s+0000000{subsystem}\s", private, re.M), f"{path}: not subsystem {subsystem}")
    check(re.search(r"^Time/Date\s+Thu Jan  1 00:00:00 1970$", private, re.M), f"{path}: a link time stamp")
    check(".debug_" not in pe_facts.objdump(args.objdump, path, "-h"), f"{path}: debugging sections")
    check("no symbols" in pe_facts.objdump(args.objdump, path, "-t"), f"{path}: a symbol table")
    strays = pe_facts.check_imports(args.objdump, path, beside)
    check(strays == [], f"{path}: imports DLLs Windows would look for beside it: {strays}")
    numbers, strings = pe_facts.version_info(args.objdump, path)
    check(numbers == (*map(int, version.split(".")), 0), f"{path}: version {numbers}, the zip says {version}")
    check(strings["FileVersion"] == strings["ProductVersion"] == version + ".0", f"{path}: version strings {strings}")


def check_loader(args, path):
    check(read(path) == read(os.path.join(args.package, "build/native/x64/WebView2Loader.dll")),
          "WebView2Loader.dll is not the x64 file of the pinned package")
    header = pe_facts.objdump(args.objdump, path, "-f")
    check("architecture: i386:x86-64" in header and "file format pei-x86-64" in header, "the loader is not x64")
    private = pe_facts.objdump(args.objdump, path, "-p")
    check(re.search(r"^Characteristics 0x[0-9a-f]+\n(\s+.*\n)*?\s+DLL$", private, re.M), "the loader is not a DLL")
    check(re.search(r"\]\s+CreateCoreWebView2EnvironmentWithOptions$", private, re.M),
          "the loader does not export CreateCoreWebView2EnvironmentWithOptions")
    security = re.search(r"^Entry 4 [0-9a-f]+ ([0-9a-f]+) Security Directory$", private, re.M)
    check(security and int(security.group(1), 16) > 0, "the loader carries no Authenticode signature")


def check_abi(args):
    outputs = []
    for program in (args.abi_ours, args.abi_sdk):
        listing = os.path.join(args.work, os.path.basename(program) + ".txt")
        with open(listing, "wb") as out, open(os.devnull, "rb") as stdin:
            code = subprocess.run([WINE, program], env=wine_environment(args), stdin=stdin, stdout=out,
                                  stderr=subprocess.DEVNULL, timeout=120).returncode
        check(code == 0, f"{program} failed")
        with open(listing, encoding="ascii") as text:
            outputs.append(text.read().replace("\r\n", "\n").splitlines())
    ours, sdk = outputs
    check(len(ours) > 40, f"only {len(ours)} ids and slots checked")
    differ = [f"ours: {a} / Microsoft's: {b}" for a, b in zip(ours, sdk) if a != b]
    check(len(ours) == len(sdk) and not differ, "host/webview2.h differs from WebView2.h:\n" + "\n".join(differ))
    return len(ours)


# ---------------------------------------------------------------- under Wine


def wine_environment(args):
    env = {k: v for k, v in os.environ.items() if not k.upper().startswith("WEBVIEW2_")}
    env.update(WINEPREFIX=os.path.join(args.work, "wineprefix"), WINEDEBUG="-all", WINEARCH="win64",
               WINEDLLOVERRIDES="mscoree,mshtml=")
    return env


def quiet(command, env, timeout, cwd=None):
    with open(os.devnull, "rb") as stdin, open(os.devnull, "wb") as out:
        return subprocess.run(command, env=env, cwd=cwd, stdin=stdin, stdout=out, stderr=out,
                              timeout=timeout).returncode


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def prepare_prefix(args):
    """This tier's Wine prefix, created once, and a Wine server kept up."""
    env = wine_environment(args)
    if not os.path.exists(os.path.join(env["WINEPREFIX"], "system.reg")):
        check(quiet([WINE, "wineboot", "--init"], env, 300) == 0, "wineboot failed")
        quiet([WINESERVER, "-w"], env, 300)
    # The server and Wine's own background processes start here, with no pipe
    # of ours to inherit and hold open.
    quiet([WINESERVER, "-p", "120"], env, 60)
    check(quiet([WINE, "cmd.exe", "/c", "exit", "0"], env, 120) == 0, "Wine does not start programs")


def check_no_runtime(args, files):
    """The unpacked program, the real loader beside it, a prefix with no runtime."""
    env = wine_environment(args)
    prefix = env["WINEPREFIX"]
    for runtime in ("Program Files (x86)/Microsoft/EdgeWebView", "Program Files/Microsoft/EdgeWebView"):
        check(not os.path.exists(os.path.join(prefix, "drive_c", runtime)), f"the prefix has a runtime: {runtime}")

    folder = os.path.join(args.work, "unpacked")
    shutil.rmtree(folder, ignore_errors=True)
    for name, data in files.items():
        os.makedirs(os.path.dirname(os.path.join(folder, name)), exist_ok=True)
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)
    # DLLs an unelevated process could plant beside the program, under the
    # names it once imported. Wine is told to prefer them to its own, as
    # Windows would.
    markers = os.path.join(args.work, "markers")
    shutil.rmtree(markers, ignore_errors=True)
    os.makedirs(markers)
    for name in PLANTED:
        shutil.copy(args.planted, os.path.join(folder, name))
    env["QF_PLANTED_MARKERS"] = windows_path(markers)
    env["WINEDLLOVERRIDES"] += ";" + ",".join(name[:-4] for name in PLANTED) + "=n,b"

    with open(os.path.join(args.work, "wine.out"), "wb") as output:
        program = subprocess.Popen([WINE, "QuarnfeldOptimizer.exe"], cwd=folder, env=env, stdin=subprocess.DEVNULL,
                                   stdout=output, stderr=output)
        try:
            found_box = os.path.join(args.work, "box.txt")
            with open(found_box, "wb") as out:
                reader = subprocess.run([WINE, args.box_reader, CAPTION, "60000"], env=env, stdout=out,
                                        stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, timeout=120)
            check(reader.returncode == 0, f"no message box with the caption {CAPTION!r}")
            with open(found_box, encoding="utf-8") as box:
                shown = dict(line.split("=", 1) for line in box.read().splitlines())
            check(shown["text"].startswith(NO_RUNTIME) and re.search(r"\(0x[0-9A-F]{8}\)$", shown["text"]),
                  f"box text {shown['text']!r}")
            check(shown["owner"].startswith("Quarnfeld Optimizer V"), f"box owned by {shown['owner']!r}")
            time.sleep(0.3)
            found = subprocess.run(["xdotool", "search", "--name", f"^{CAPTION}$"], capture_output=True, text=True)
            check(found.stdout.split(), "the box is not on the display")
            subprocess.run(["xdotool", "key", "--window", found.stdout.split()[0], "Return"], check=True)
            code = program.wait(30)
        finally:
            if program.poll() is None:
                program.kill()
    check(code == 1, f"exit code {code}")
    check(os.listdir(markers) == [], f"planted DLLs loaded: {os.listdir(markers)}")
    return shown["text"].rsplit("(", 1)[1].rstrip(")")


def main():
    parser = argparse.ArgumentParser()
    for option in ("zip", "again", "package", "expect-cli", "objdump", "box-reader", "planted", "abi-ours", "abi-sdk",
                   "work"):
        parser.add_argument("--" + option, required=True)
    args = parser.parse_args()
    args.work = os.path.abspath(args.work)
    if not os.environ.get("DISPLAY"):
        print("FAIL release: no X display (the release tier runs under xvfb-run)")
        return 1
    os.makedirs(args.work, exist_ok=True)
    prepare_prefix(args)
    passed = failed = 0
    version = files = None

    def unpacked_programs():
        folder = os.path.join(args.work, "programs")
        os.makedirs(folder, exist_ok=True)
        for name in files:
            if name.endswith((".exe", ".dll")):
                with open(os.path.join(folder, name), "wb") as out:
                    out.write(files[name])
        check_program(args, os.path.join(folder, "QuarnfeldOptimizer.exe"), version, 2, ["WebView2Loader.dll"])
        if "quarnfeld.exe" in files:
            check_program(args, os.path.join(folder, "quarnfeld.exe"), version, 3, [])
        check_loader(args, os.path.join(folder, "WebView2Loader.dll"))

    for name, step in [("zip", None), ("same-bytes", lambda: check_same_bytes(args)), ("pe", unpacked_programs),
                       ("abi", lambda: check_abi(args)), ("no-runtime", lambda: check_no_runtime(args, files))]:
        try:
            if name == "zip":
                version, files = check_zip(args)
                result = f"{version}, {len(files)} files: " + ", ".join(f"{n} {len(d)}" for n, d in sorted(files.items()))
            else:
                check(files is not None, "no zip to check")
                result = step()
            print(f"ok {name}" + (f": {result}" if result else ""))
            passed += 1
        except (Failure, subprocess.SubprocessError, OSError, KeyError) as failure:
            print(f"FAIL {name}: {failure}")
            failed += 1
    print(f"{passed} passed, {failed} failed")
    quiet([WINESERVER, "-k"], wine_environment(args), 60)
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
