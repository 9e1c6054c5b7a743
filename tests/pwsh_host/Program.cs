// The tests' PowerShell: the console host of the PowerShell packages, started
// the way powershell.exe is, so that a body's step line
//   PowerShell -NoProfile -NonInteractive -ExecutionPolicy Unrestricted -Command "..."
// runs its script and exits with the script's exit code. Like the console
// host it needs a console; the batch runner's hidden cmd.exe has one.
using System.Management.Automation.Runspaces;
using Microsoft.PowerShell;

internal static class Program
{
    private static int Main(string[] args)
    {
        return ConsoleShell.Start(InitialSessionState.CreateDefault2(), string.Empty, string.Empty, args);
    }
}
