# Wine 8 answers no directory query that holds a DOS wildcard, and .NET turns
# the "reg.*" that PowerShell looks for in each PATH folder into one: "reg"
# alone is then never found, though "reg.exe" is. When the usual lookup
# fails, this one looks for the name in PATH with each PATHEXT extension, in
# the order Windows does, and hands PowerShell what it finds.
$ExecutionContext.InvokeCommand.CommandNotFoundAction = {
    param([string]$name, [System.Management.Automation.CommandLookupEventArgs]$lookup)
    if ($name.IndexOfAny([char[]]'\/:*?') -ge 0) { return }
    $extensions = @('') + ($env:PATHEXT -split ';' | Where-Object { $_ })
    foreach ($folder in ($env:PATH -split ';' | Where-Object { $_ })) {
        foreach ($extension in $extensions) {
            $candidate = [System.IO.Path]::Combine($folder, $name + $extension)
            if ($extension -eq '' -and -not [System.IO.Path]::HasExtension($name)) { continue }
            if ([System.IO.File]::Exists($candidate)) {
                $lookup.Command = $ExecutionContext.InvokeCommand.GetCommand($candidate, 'Application')
                $lookup.StopSearch = $true
                return
            }
        }
    }
}
