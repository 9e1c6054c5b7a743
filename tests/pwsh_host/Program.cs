// The tests' PowerShell: the console host of the PowerShell packages, started
// the way powershell.exe is, so that a body's step line
//   PowerShell -NoProfile -NonInteractive -ExecutionPolicy Unrestricted -Command "..."
// runs its script and exits with the script's exit code. Like the console
// host it needs a console; the batch runner's hidden cmd.exe has one.
using System;
using System.IO;
using System.Management.Automation.Runspaces;
using Microsoft.PowerShell;

internal static class Program
{
    private static int Main(string[] args)
    {
        var state = InitialSessionState.CreateDefault2();
        state.StartupScripts.Add(Path.Combine(AppContext.BaseDirectory, "wine_command_lookup.ps1"));
        return ConsoleShell.Start(state, string.Empty, string.Empty, args);
    }
}
