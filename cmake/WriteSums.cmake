# Writes SHA256SUMS beside FILE, in sha256sum's format and with a plain line
# feed on every platform, so that `sha256sum -c SHA256SUMS` checks it.
#   cmake -DFILE=path/to/Launcher.exe -P WriteSums.cmake
file(SHA256 "${FILE}" hash)
get_filename_component(folder "${FILE}" DIRECTORY)
get_filename_component(name "${FILE}" NAME)
file(WRITE "${folder}/SHA256SUMS" "${hash}  ${name}\n")
