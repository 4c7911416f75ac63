# Makes on Windows the installers the signature tests run, as
# make-signed-installers.sh does on Linux: the stand-in installer signed by
# the publisher the test launcher pins, the same signed by another
# publisher, the same altered after signing, and unsigned. No network, no
# time stamp.
#   powershell -ExecutionPolicy Bypass -File make-signed-installers.ps1 BUILD_DIR
# Writes BUILD_DIR\signed-installers\{pinned,other,altered,unsigned}.exe.
#
# Each publisher gets a throw-away self-signed code-signing certificate that
# the machine is made to trust (LocalMachine Root and TrustedPublisher), so
# it needs an elevated shell and belongs on a throw-away machine such as a
# CI runner. signtool comes from the Windows SDK, on PATH in Visual Studio's
# developer environment.
param([Parameter(Mandatory = $true)][string]$BuildDir)
$ErrorActionPreference = 'Stop'

$build = (Resolve-Path $BuildDir).Path
$out = Join-Path $build 'signed-installers'
$installer = Join-Path $build 'ZelqaAntiCheat.Installer.exe'
if (Test-Path $out) { Remove-Item -Recurse -Force $out }
New-Item -ItemType Directory -Path $out | Out-Null

function Invoke-Signtool {
  & signtool @args
  if ($LASTEXITCODE -ne 0) { throw "signtool $($args -join ' ') failed ($LASTEXITCODE)" }
}

# Signs a copy of the installer as NAME.exe under a new certificate for COMMON_NAME.
function New-SignedInstaller([string]$Name, [string]$CommonName) {
  $certificate = New-SelfSignedCertificate -Type CodeSigningCert -Subject "CN=$CommonName" `
    -CertStoreLocation Cert:\CurrentUser\My -KeyAlgorithm RSA -KeyLength 2048 `
    -HashAlgorithm SHA256 -NotAfter (Get-Date).AddDays(2)
  $public = Join-Path $out "$Name.cer"
  Export-Certificate -Cert $certificate -FilePath $public | Out-Null
  foreach ($store in 'Root', 'TrustedPublisher') {
    Import-Certificate -FilePath $public -CertStoreLocation "Cert:\LocalMachine\$store" | Out-Null
  }
  $target = Join-Path $out "$Name.exe"
  Copy-Item $installer $target
  Invoke-Signtool sign /fd SHA256 /sha1 $certificate.Thumbprint /d 'Zelqa anticheat installer (test)' $target
  Invoke-Signtool verify /pa $target
}

New-SignedInstaller 'pinned' 'Zelqa Test Publisher'
New-SignedInstaller 'other' 'Other Publisher'
Copy-Item $installer (Join-Path $out 'unsigned.exe')
# One byte of the code changed after signing: the digest no longer matches.
$bytes = [IO.File]::ReadAllBytes((Join-Path $out 'pinned.exe'))
$bytes[4096] = $bytes[4096] -bxor 0xFF
[IO.File]::WriteAllBytes((Join-Path $out 'altered.exe'), $bytes)
"signed installers in $out"
