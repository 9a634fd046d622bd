# Sourced by the tests that drive the control from Windows' script host.
#   write_extract_script FILE ARCHIVE DESTINATION   (ARCHIVE, DESTINATION as Windows paths)
# Writes a VBScript that creates the control by its ProgID, extracts every file of ARCHIVE
# into DESTINATION and echoes "Extracted=" with the control's last error (0 when it worked).
write_extract_script() {
  printf '%s\r\n' \
    'Set control = CreateObject("ZAXTarGzip200a.ZAXTarGzip")' \
    'control.WaitExecution = True' \
    "control.ZAXUncompress \"$2\", \"$3\", \"*.*\"" \
    'WScript.Echo "Extracted=" & control.GetLastError' >"$1"
}
