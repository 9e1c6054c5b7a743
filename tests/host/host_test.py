#!/usr/bin/env python3
"""Host tier: the real QuarnfeldOptimizer.exe under Wine on an X display
(xvfb-run in tools/test), beside the stand-in WebView2Loader.dll of
tools/webview2_standin, which records every call the program makes into a log
and plays a scripted page. Each case is one CTest test:

  prefix / stop       create this tier's Wine prefix and start its server; stop it
  pe                  the executable's headers, imports and resources (cross binutils)
  startup             the web view chain, page messages both ways, the source
                      check, navigations and new windows cancelled, WEBVIEW2_*
                      variables dropped, the user data folder, no DLL planted
                      beside the program loaded, resizing and closing
  optimize            an "optimize" of a plain-command tweak through the real runner
  old-runtime         a runtime without ICoreWebView2Controller2 and
                      ICoreWebView2Settings3
  loader-fails, environment-fails, controller-fails, guard-fails
                      each shows its error box (dismissed with xdotool), exit code 1;
                      without its navigation handlers the page is never loaded
  no-webview          a controller without a web view: exit code 1, no box

usage: host_test.py CASE --exe EXE --loader DLL --box-reader EXE --planted DLL
                    --version-file FILE --page HTML --icon ICO --objdump OBJDUMP
                    --work DIR --artefacts DIR
"""

import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import time
import xml.etree.ElementTree as ElementTree

import pe_facts
from pe_facts import read_resources, version_blocks

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
CAPTION = "Quarnfeld Optimizer"
TITLE = "Quarnfeld Optimizer V3"
DOWNLOAD = "https://developer.microsoft.com/microsoft-edge/webview2/"
NO_RUNTIME = ("Для окна программы нужна среда Microsoft Edge WebView2 Runtime, но она не установлена или не "
              "запускается.\nThe program's window needs the Microsoft Edge WebView2 Runtime, which is missing or does "
              "not start.\n\n" + DOWNLOAD + "\n\n({code})")
NO_WEBVIEW = "Не удалось создать окно WebView2.\nThe WebView2 window could not be created.\n\n({code})"
USER_DATA_FOLDER = r"C:\ProgramData\Quarnfeld Optimizer\WebView2"
# System DLLs that are no KnownDLLs, planted beside the program.
PLANTED = ("dwmapi.dll", "dxgi.dll", "winhttp.dll")
# Variables the WebView2 loader reads before its arguments, in the
# environment an unelevated process can set for the user.
WEBVIEW2_VARIABLES = {
    "WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS": "--remote-debugging-port=9222",
    "WEBVIEW2_BROWSER_EXECUTABLE_FOLDER": r"C:\Users\Public\browser",
    "WEBVIEW2_USER_DATA_FOLDER": r"C:\Users\Public\data",
    "webview2_pipe_for_script_debugger": "spy",
}
PLAIN_COMMAND_TWEAK = "Disable hibernation for faster startup and to avoid sensitive data storage"
SKIP = 77


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


# ---------------------------------------------------------------- running the program


def wine_environment(args):
    env = dict(os.environ)
    env.update(WINEPREFIX=os.path.join(args.work, "wineprefix"), WINEDEBUG="-all", WINEARCH="win64",
               WINEDLLOVERRIDES="mscoree,mshtml=")
    return env


def quiet(command, env, timeout):
    """Runs a Wine command with no pipes of ours (Wine's background processes
    would inherit them and keep CTest waiting)."""
    with open(os.devnull, "rb") as stdin, open(os.devnull, "wb") as out:
        return subprocess.run(command, env=env, stdin=stdin, stdout=out, stderr=out, timeout=timeout).returncode


class Run:
    """One start of the program in a folder of its own, beside the stand-in."""

    def __init__(self, args, case, fail=None, page=None, planted=False, variables=None):
        self.folder = os.path.join(args.work, case)
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        for source in (args.exe, args.loader):
            shutil.copy(source, self.folder)
        self.log = os.path.join(self.folder, "calls.log")
        self.navigated = os.path.join(self.folder, "navigated.html")
        env = wine_environment(args)
        for name in list(env):
            if name.upper().startswith(("QF_WV2_", "WEBVIEW2_")):
                del env[name]
        env.update(QF_WV2_LOG=self.log, QF_WV2_NAVIGATED=self.navigated)
        env.update(variables or {})
        # As Windows would, Wine takes a DLL found beside the program before
        # its own, so a DLL loaded by name from there leaves its marker.
        self.markers = os.path.join(self.folder, "markers")
        if planted:
            os.makedirs(self.markers)
            for name in PLANTED:
                shutil.copy(args.planted, os.path.join(self.folder, name))
            env["QF_PLANTED_MARKERS"] = "Z:" + self.markers.replace("/", "\\")
            env["WINEDLLOVERRIDES"] += ";" + ",".join(name[:-4] for name in PLANTED) + "=n,b"
        if fail:
            env["QF_WV2_FAIL"] = fail
        if page is not None:
            env["QF_WV2_PAGE"] = os.path.join(self.folder, "page.txt")
            with open(env["QF_WV2_PAGE"], "w", encoding="utf-8") as script:
                script.write(page)
        self.env = env
        self.output = open(os.path.join(self.folder, "wine.out"), "wb")
        self.process = subprocess.Popen([WINE, os.path.basename(args.exe)], cwd=self.folder, env=env,
                                        stdin=subprocess.DEVNULL, stdout=self.output, stderr=self.output)

    def lines(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log, encoding="utf-8") as log:
            return log.read().splitlines()

    def wait_for(self, prefix, timeout=60, after=0):
        """Index of the first log line from `after` on that starts with prefix."""
        deadline = time.monotonic() + timeout
        while True:
            lines = self.lines()
            for i in range(after, len(lines)):
                if lines[i].startswith(prefix):
                    return i
            if time.monotonic() > deadline:
                raise Failure(f"no log line starting with {prefix!r} within {timeout} s; log:\n" + tail(lines))
            if self.process.poll() is not None:
                raise Failure(f"the program ended ({self.process.returncode}) before {prefix!r}; log:\n" + tail(lines))
            time.sleep(0.1)

    def exit_code(self, timeout=30):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"the program did not end within {timeout} s; log:\n" + tail(self.lines()))

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.output.close()


def tail(lines, count=25):
    return "\n".join(line[:300] for line in lines[-count:])


def xdotool(*arguments):
    result = subprocess.run(["xdotool", *arguments], capture_output=True, text=True)
    return result.stdout.split()


def find_window(name, timeout=30):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = xdotool("search", "--name", f"^{re.escape(name)}$")
        if found:
            return found[0]
        time.sleep(0.1)
    raise Failure(f"no window named {name!r} within {timeout} s")


def in_order(lines, expected):
    """Checks that each expected prefix starts a log line, in this order; returns their indices."""
    found, start = [], 0
    for prefix in expected:
        index = next((i for i in range(start, len(lines)) if lines[i].startswith(prefix)), None)
        check(index is not None, f"missing, or out of order: {prefix!r}; log:\n" + tail(lines, 60))
        found.append(index)
        start = index + 1
    return found


def posted(lines):
    prefix = "WebView.PostWebMessageAsJson "
    return [line[len(prefix):] for line in lines if line.startswith(prefix)]


def check_clean_log(lines):
    """Every call on the UI thread, no call through a slot the program must not use."""
    for line in lines:
        check("[other thread]" not in line, "a call from another thread than the UI thread: " + line[:300])
        check("not expected" not in line, "a call through an unexpected slot: " + line)


def check_released(lines):
    """Every object the runtime handed over and every handler was released."""
    for line in ("EnvironmentCompletedHandler.Release -> 0", "ControllerCompletedHandler.Release -> 0",
                 "Environment destroyed", "Settings destroyed", "WebView destroyed", "Controller destroyed",
                 "WebMessageReceivedEventHandler.Release -> 0", "NavigationStartingEventHandler.Release -> 0",
                 "FrameNavigationStartingEventHandler.Release -> 0", "NewWindowRequestedEventHandler.Release -> 0"):
        check(line in lines, f"never seen: {line!r}; log:\n" + tail(lines))
    posts = sum(line.startswith("Page post-") for line in lines)
    check(lines.count("EventArgs destroyed") == posts, "event arguments left unreleased")
    navigations = sum(re.match(r"(Frame)?NavigationStarting ", line) is not None for line in lines)
    check(lines.count("NavigationArgs destroyed") == navigations, "navigation event arguments left unreleased")
    # The web view reference is given up first, then the controller.
    web_view = max(i for i, line in enumerate(lines) if line == "WebView.Release -> 1")
    controller = lines.index("Controller.Release -> 0")
    check(web_view < controller, "the controller was released before the web view")


# ---------------------------------------------------------------- cases


def start_wine(env):
    """One server and Wine's own background processes, started here, detached
    from the cases' programs and kept for the following cases."""
    quiet([WINESERVER, "-p", "120"], env, 60)
    check(quiet([WINE, "cmd.exe", "/c", "exit", "0"], env, 120) == 0, "Wine does not start programs")


def case_prefix(args):
    env = wine_environment(args)
    os.makedirs(args.work, exist_ok=True)
    quiet([WINESERVER, "-k"], env, 60)
    if not os.path.exists(os.path.join(env["WINEPREFIX"], "system.reg")):
        check(quiet([WINE, "wineboot", "--init"], env, 300) == 0, "wineboot failed")
        quiet([WINESERVER, "-w"], env, 300)
    start_wine(env)


def case_stop(args):
    quiet([WINESERVER, "-k"], wine_environment(args), 60)


FOREIGN_SOURCES = ("https://attacker.example/", "file:///C:/page.html", "about:srcdoc", "about:blankest")
# What the page (or anything that got into it) may try, each to be refused:
# (script command, argument, the stand-in's line for the outcome).
ESCAPES = (
    ("navigate", "https://attacker.example/", "NavigationStarting https://attacker.example/ -> cancelled"),
    ("navigate", "about:blank", "NavigationStarting about:blank -> cancelled"),
    ("navigate", "file:///C:/Windows/win.ini", "NavigationStarting file:///C:/Windows/win.ini -> cancelled"),
    ("frame-navigate", "https://attacker.example/frame",
     "FrameNavigationStarting https://attacker.example/frame -> cancelled"),
    ("new-window", "https://attacker.example/popup", "NewWindowRequested https://attacker.example/popup -> handled"),
)
STARTUP_PAGE = "".join(f'post-string {source} {{"cmd":"ready"}}\n' for source in FOREIGN_SOURCES) + """\
post-string about:blank {"cmd":"ready"}
await "type":"init"
post-json about:blank {"cmd":"ready"}
await "type":"init"
post-string about:blank#log {"cmd":"ready"}
await "type":"init"
post-string about:blank {"cmd":"Привет, мир 😀"}
await Unknown command: Привет, мир 😀
""" + "".join(f"{command} {argument}\n" for command, argument, _ in ESCAPES) + """\
post-string about:blank {"cmd":"ready"}
await "type":"init"
wait 300
"""


def case_startup(args):
    run = Run(args, "startup", page=STARTUP_PAGE, planted=True, variables=WEBVIEW2_VARIABLES)
    try:
        run.wait_for("Page script done")
        lines = run.lines()

        # The chain, in the order the program must follow.
        steps = [
            "CreateCoreWebView2EnvironmentWithOptions browserFolder=(null) userDataFolder=" + USER_DATA_FOLDER +
            " options=(null) handler=set apartment=STA",
            "Loader environment: none",
            "Loader winhttp.dll: ",
            "Environment.CreateCoreWebView2Controller ",
            "Controller.get_CoreWebView2 -> web view",
            "Controller.QueryInterface ICoreWebView2Controller2 -> S_OK",
            "Controller2.put_DefaultBackgroundColor A=255 R=7 G=7 B=13",
            "WebView.get_Settings",
            "Settings.put_AreDevToolsEnabled 0",
            "Settings.put_AreDefaultContextMenusEnabled 0",
            "Settings.put_IsStatusBarEnabled 0",
            "Settings.put_IsZoomControlEnabled 0",
            "Settings.QueryInterface ICoreWebView2Settings3 -> S_OK",
            "Settings.put_AreBrowserAcceleratorKeysEnabled 0",
            "Controller.put_IsVisible 1",
            "Controller.put_Bounds ",
            "WebView.add_NavigationStarting handler=set",
            "WebView.add_FrameNavigationStarting handler=set",
            "WebView.add_NewWindowRequested handler=set",
            "WebView.add_WebMessageReceived handler=set",
            "WebView.NavigateToString ",
            "ControllerCompletedHandler.Invoke returned 0x00000000",
            "NavigationStarting data:",
        ]
        chain = dict(zip(steps, in_order(lines, steps)))
        check(sum(line.startswith("Settings.put_") for line in lines) == 5, "settings other than the five written")
        check(lines[chain["NavigationStarting data:"]].endswith(" -> allowed"),
              "the program's own navigation to the page: " + lines[chain["NavigationStarting data:"]])

        # The loader saw none of the WEBVIEW2_* variables set for the program,
        # and a DLL it loaded by name came from System32, not from beside the
        # program; none of the planted DLLs was loaded at all (checked below).
        library = lines[chain["Loader winhttp.dll: "]].split(": ", 1)[1]
        check(library.lower() == r"c:\windows\system32\winhttp.dll", "winhttp.dll loaded from " + library)

        # The page's ways out are all refused, and the page still works after them.
        for _, _, outcome in ESCAPES:
            check(outcome in lines, f"never seen: {outcome!r}; log:\n" + tail(lines, 60))
        check(sum(line.startswith("NavigationStarting ") for line in lines) == 4, "navigations other than those sent")

        # The window, as the runtime finds it: class, title, style, size,
        # centred on the screen, shown, with both icons.
        facts, title = lines[chain["Environment.CreateCoreWebView2Controller "]].split(" title=", 1)
        window = dict(re.findall(r"(\w+)=(\S+)", facts))
        check(window["class"] == "QuarnfeldOptimizerWnd" and title == TITLE, f"window {window['class']} {title!r}")
        style = int(window["style"], 16)
        check(style & 0x00CF0000 == 0x00CF0000, f"not an overlapped window: style {window['style']}")
        x, y, width, height = map(int, window["rect"].split(","))
        screen_width, screen_height = map(int, window["screen"].split(","))
        check((width, height) == (1280, 860), f"window size {width}x{height}")
        check((x, y) == ((screen_width - 1280) // 2, (screen_height - 860) // 2), f"window not centred: {x},{y}")
        check(window["visible"] == "1", "window not shown before the web view is created")
        check(window["bigicon"] == "1" and window["smallicon"] == "1", "window icons not set")

        # The web view covers the client area.
        first_bounds, client = bounds_and_client(lines[chain["Controller.put_Bounds "]])
        check(first_bounds == client and first_bounds[2] > 0 and first_bounds[3] > 0,
              f"bounds {first_bounds} but client area {client}")

        # The navigated text is the embedded page, byte for byte.
        with open(args.page, "rb") as page, open(run.navigated, "rb") as navigated:
            check(navigated.read() == page.read(), "the navigated text differs from the embedded page")

        # Page messages: only the embedded document's reach the dispatcher.
        for foreign in FOREIGN_SOURCES:
            at = lines.index(f"EventArgs.get_Source -> {foreign}")
            check(lines[at + 1] == "WebMessageReceivedEventHandler.Invoke returned 0x00000000",
                  f"a message from {foreign} was read: {lines[at + 1]}")
        messages = posted(lines)
        inits = [m for m in messages if m.startswith('{"type":"init",')]
        check(len(inits) == 4, f"{len(inits)} init messages for four readies from the page")
        check('"admin":' in inits[0] and inits[0].endswith("]}]}"), "init message incomplete")
        check(all(line.startswith("WebMessageReceivedEventHandler.Invoke returned 0x00000000")
                  for line in lines if line.startswith("WebMessageReceivedEventHandler.Invoke")),
              "a handler returned something other than S_OK")
        check(any(line == "EventArgs.TryGetWebMessageAsString -> E_INVALIDARG" for line in lines) and
              "EventArgs.get_WebMessageAsJson" in lines, "a posted object was not read as JSON")
        check(any("Unknown command: Привет, мир 😀" in m for m in messages), "non-ASCII text changed on its way")

        # Resizing keeps the web view on the client area.
        window_id = find_window(TITLE)
        mark = len(run.lines())
        xdotool("windowsize", window_id, "1000", "700")
        resized = run.wait_for("Controller.put_Bounds ", after=mark)
        bounds, client = bounds_and_client(run.lines()[resized])
        check(bounds == client and bounds != first_bounds, f"after resizing: bounds {bounds}, client area {client}")

        # Closing the window ends the program with exit code 0.
        xdotool("key", "--window", window_id, "alt+F4")
        code = run.exit_code()
        check(code == 0, f"exit code {code} after closing the window")
        lines = run.lines()
        check_clean_log(lines)
        check_released(lines)
        check(os.listdir(run.markers) == [], f"planted DLLs loaded: {os.listdir(run.markers)}")
    finally:
        run.kill()


def bounds_and_client(line):
    numbers = list(map(int, re.findall(r"-?\d+", line)))
    return numbers[0:4], numbers[4:8]


def case_optimize(args):
    page = (
        'post-string about:blank {"cmd":"ready"}\n'
        'await "type":"init"\n'
        'post-string about:blank {"cmd":"optimize","ids":[$id{' + PLAIN_COMMAND_TWEAK + '}]}\n'
        'await "type":"done"\n'
        'wait 300\n')
    run = Run(args, "optimize", page=page)
    try:
        run.wait_for("Page script done", timeout=150)
        lines = run.lines()
        check(not any("timed out" in line for line in lines), "the run did not finish; log:\n" + tail(lines))
        start = next(i for i, line in enumerate(lines) if line.startswith('Page post-string about:blank {"cmd":"opt'))
        check(re.search(r'"ids":\[\d+\]', lines[start]), "the tweak's id was not in init: " + lines[start])
        run_messages = posted(lines[start:])
        logs = [m for m in run_messages if m.startswith('{"type":"log",')]
        progress = [m for m in run_messages if m.startswith('{"type":"progress",')]
        done = [m for m in run_messages if m.startswith('{"type":"done",')]
        check(any(PLAIN_COMMAND_TWEAK in m for m in logs), "no log line names the tweak")
        check(any('"cur":1,"max":1' in m for m in progress), "no progress message for the finished tweak")
        check(len(done) == 1 and run_messages[-1] == done[0], "not exactly one done, last")
        ok, err = map(int, re.findall(r'"ok":(\d+),"err":(\d+)', done[0])[0])
        check(ok + err == 1, "done does not count the one tweak: " + done[0])
        xdotool("key", "--window", find_window(TITLE), "alt+F4")
        check(run.exit_code() == 0, "exit code after closing")
        check_clean_log(run.lines())
    finally:
        run.kill()


def case_old_runtime(args):
    page = 'post-string about:blank {"cmd":"ready"}\nawait "type":"init"\nnavigate about:blank\n'
    run = Run(args, "old-runtime", fail="controller2,settings3", page=page)
    try:
        run.wait_for("Page script done")
        lines = run.lines()
        in_order(lines, ["Controller.QueryInterface ICoreWebView2Controller2 -> E_NOINTERFACE",
                         "Settings.put_AreDevToolsEnabled 0",
                         "Settings.QueryInterface ICoreWebView2Settings3 -> E_NOINTERFACE", "WebView.NavigateToString ",
                         "NavigationStarting about:blank -> cancelled"])
        check(not any(line.startswith("Controller2.") for line in lines), "Controller2 used after all")
        check("Settings.put_AreBrowserAcceleratorKeysEnabled 0" not in lines, "Settings3 used after all")
        xdotool("key", "--window", find_window(TITLE), "alt+F4")
        check(run.exit_code() == 0, "exit code after closing")
    finally:
        run.kill()


X11_DRIVER_KEY = r"HKCU\Software\Wine\X11 Driver"


def failure_case(args, case, fail, text, screenshot=None, never=()):
    env = wine_environment(args)
    if screenshot:
        # There is no window manager on the display: let Wine draw the
        # frames itself, so that the picture shows the box's caption.
        quiet([WINE, "reg", "add", X11_DRIVER_KEY, "/v", "Managed", "/d", "N", "/f"], env, 60)
    run = Run(args, case, fail=fail)
    try:
        found = os.path.join(run.folder, "box.txt")
        with open(found, "wb") as out:
            reader = subprocess.run([WINE, args.box_reader, CAPTION, "30000"], env=run.env, stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=subprocess.DEVNULL, timeout=60)
        check(reader.returncode == 0, f"no message box with the caption {CAPTION!r}")
        with open(found, encoding="utf-8") as box_text:
            shown = dict(line.split("=", 1) for line in box_text.read().splitlines())
        check(shown["text"] == text.replace("\n", "\\n"), f"box text {shown['text']!r}")
        check(shown["owner"] == TITLE, f"box owned by {shown['owner']!r}")
        box = find_window(CAPTION)
        if screenshot:
            time.sleep(0.5)  # shown, now let it paint
            os.makedirs(args.artefacts, exist_ok=True)
            subprocess.run(["import", "-window", "root", os.path.join(args.artefacts, screenshot)], check=True)
        xdotool("key", "--window", box, "Return")
        code = run.exit_code()
        check(code == 1, f"exit code {code}")
        lines = run.lines()
        check_clean_log(lines)
        for call in never:
            check(not any(line.startswith(call) for line in lines), f"{call} was called")
    finally:
        run.kill()
        if screenshot:
            quiet([WINE, "reg", "delete", X11_DRIVER_KEY, "/v", "Managed", "/f"], env, 60)
            # Wine keeps some input state of the unmanaged box that would
            # close the next case's box at once: start the next case afresh.
            quiet([WINESERVER, "-k"], env, 60)
            start_wine(env)


def case_loader_fails(args):
    failure_case(args, "loader-fails", "loader", NO_RUNTIME.format(code="0x80070002"))


def case_environment_fails(args):
    failure_case(args, "environment-fails", "environment", NO_RUNTIME.format(code="0x80070002"),
                 screenshot="environment-fails-box.png")


def case_controller_fails(args):
    failure_case(args, "controller-fails", "controller", NO_WEBVIEW.format(code="0x80004005"))


def case_guard_fails(args):
    """Without its navigation guard in place, the page is never loaded."""
    failure_case(args, "guard-fails", "frame-navigation-handler", NO_WEBVIEW.format(code="0x80004005"),
                 never=["WebView.NavigateToString", "WebView.add_NewWindowRequested"])


def case_no_webview(args):
    run = Run(args, "no-webview", fail="webview")
    try:
        deadline = time.monotonic() + 30
        while run.process.poll() is None and time.monotonic() < deadline:
            check(not xdotool("search", "--name", f"^{CAPTION}$"), "a message box was shown")
            time.sleep(0.1)
        code = run.exit_code(timeout=1)
        check(code == 1, f"exit code {code}")
        lines = run.lines()
        in_order(lines, ["Controller.get_CoreWebView2 -> (null)"])
        check(not any(line.startswith(("Controller.put_", "Controller2.", "WebView.")) for line in lines),
              "the program went on without a web view")
        check("Controller destroyed" in lines, "the controller was not released")
        check_clean_log(lines)
    finally:
        run.kill()


# ---------------------------------------------------------------- the executable file


def objdump(args, *options):
    return pe_facts.objdump(args.objdump, args.exe, *options)


def case_pe(args):
    header = objdump(args, "-f")
    check("file format pei-x86-64" in header and "architecture: i386:x86-64" in header, "not an x86-64 PE file")
    private = objdump(args, "-p")
    check(re.search(r"^Subsystem\s+00000002\s+\(Windows GUI\)", private, re.M), "not a GUI-subsystem program")
    imports = private.split("DLL Name: WebView2Loader.dll", 1)
    check(len(imports) == 2, "WebView2Loader.dll is not imported")
    loader_block = imports[1].split("DLL Name:", 1)[0]
    check(re.search(r"\sCreateCoreWebView2EnvironmentWithOptions\s", loader_block),
          "CreateCoreWebView2EnvironmentWithOptions is not imported from WebView2Loader.dll")
    # Every other DLL imported at load time is one Windows maps from System32
    # whatever the program's folder holds; the rest are loaded from System32
    # by the program itself.
    strays = pe_facts.check_imports(args.objdump, args.exe, beside=["WebView2Loader.dll"])
    check(strays == [], f"DLLs imported that Windows would look for beside the program: {strays}")
    check(re.search(r"^Time/Date\s+Thu Jan  1 00:00:00 1970$", private, re.M), "a link time stamp in the PE header")

    resources = read_resources(args.objdump, args.exe)

    manifests = [key for key in resources if key[0] == 24]
    check(manifests == [(24, 1, 1033)], f"manifest resources {manifests}")
    manifest = resources[(24, 1, 1033)].decode("utf-8")
    root = ElementTree.fromstring(manifest.encode("utf-8"))
    everything = [element.tag.split("}")[1] for element in root.iter()]
    check(everything == ["assembly", "trustInfo", "security", "requestedPrivileges", "requestedExecutionLevel"],
          f"the manifest declares more than the trust information: {everything}")
    level = root.find(".//{urn:schemas-microsoft-com:asm.v3}requestedExecutionLevel")
    check(level.attrib == {"level": "requireAdministrator", "uiAccess": "false"}, f"execution level {level.attrib}")

    check((14, 101, 1033) in resources, "no icon group 101 in US English")
    group = resources[(14, 101, 1033)]
    reserved, kind, count = struct.unpack_from("<HHH", group, 0)
    check((reserved, kind, count) == (0, 1, 7), f"icon group header {reserved, kind, count}")
    with open(args.icon, "rb") as icon_file:
        icon = icon_file.read()
    sizes = []
    for entry in range(count):
        width, height, _, _, planes, bits, size, image_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * entry)
        image = resources[(3, image_id, 1033)]
        check(image.startswith(b"\x89PNG\r\n\x1a\n") and len(image) == size, f"icon image {image_id} is not a PNG")
        png_width, png_height, depth, colour = struct.unpack_from(">IIBB", image, 16)
        check((png_width, png_height) == (width or 256, height or 256), f"icon image {image_id} size")
        check(bits == 32 and depth == 8 and colour == 6, f"icon image {image_id} is not 32 bits per pixel")
        check(image in icon, f"icon image {image_id} is not from {args.icon}")
        sizes.append(png_width)
    check(sorted(sizes) == [16, 24, 32, 48, 64, 128, 256], f"icon sizes {sizes}")

    check((16, 1, 1033) in resources, "no version information in US English")
    key, fixed, children, _ = version_blocks(resources[(16, 1, 1033)])
    check(key == "VS_VERSION_INFO", key)
    (signature, _, file_ms, file_ls, product_ms, product_ls, mask, flags, os_kind, file_type,
     _, _, _) = struct.unpack("<13I", fixed)
    check(signature == 0xFEEF04BD, "no fixed file information")
    with open(args.version_file, encoding="ascii") as version_file:
        version = version_file.read().strip()
    major, minor, patch = map(int, version.split("."))
    numbers = ((major << 16) | minor, patch << 16)
    check((file_ms, file_ls, product_ms, product_ls) == numbers * 2, f"version numbers not {version}.0")
    check(flags & mask == 0 and os_kind == 0x40004 and file_type == 1, "file flags, OS or type")
    blocks = {child[0]: child for child in children}
    tables = blocks["StringFileInfo"][2]
    check([table[0] for table in tables] == ["040904B0"], f"string tables {[table[0] for table in tables]}")
    strings = {name: value.decode("utf-16-le").rstrip("\0") for name, value, _ in tables[0][2]}
    check(strings == {
        "CompanyName": "quarnfeld",
        "FileDescription": f"Quarnfeld Optimizer V{major}",
        "FileVersion": f"{version}.0",
        "InternalName": "QuarnfeldOptimizer",
        "OriginalFilename": "QuarnfeldOptimizer.exe",
        "ProductName": "Quarnfeld Optimizer",
        "ProductVersion": f"{version}.0",
    }, f"version strings {strings}")
    translation = blocks["VarFileInfo"][2][0][1]
    check(struct.unpack("<HH", translation) == (0x0409, 1200), "translation not US English, Unicode")


CASES = {
    "prefix": case_prefix,
    "stop": case_stop,
    "pe": case_pe,
    "startup": case_startup,
    "optimize": case_optimize,
    "old-runtime": case_old_runtime,
    "loader-fails": case_loader_fails,
    "environment-fails": case_environment_fails,
    "controller-fails": case_controller_fails,
    "guard-fails": case_guard_fails,
    "no-webview": case_no_webview,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("case", choices=CASES)
    for option in ("exe", "loader", "box-reader", "planted", "version-file", "page", "icon", "objdump", "work",
                   "artefacts"):
        parser.add_argument("--" + option, required=True)
    args = parser.parse_args()
    needs_display = args.case not in ("pe", "stop")
    if needs_display and not os.environ.get("DISPLAY"):
        print("skipped: no X display (the host tier runs under xvfb-run)")
        return SKIP
    try:
        CASES[args.case](args)
    except Failure as failure:
        print(f"FAIL {args.case}: {failure}")
        return 1
    print(f"ok {args.case}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
