; The bench's peer: the installer a vendor would make with NSIS instead, doing the same work as
; ours. Modern UI 2 in Korean with the welcome, licence, install files and finish pages; at run
; time it fetches install.inf, reads its [files] list and downloads every file into its own
; folder, creating the sub-folders first. scripts/bench.sh builds it:
;   makensis -DHOST=host:port -DROOT=checkout -DLICENSE=licence-with-bom -DOUTFILE=exe Peer.nsi
; The files come through urlmon's URLDownloadToFileW, called with the System plugin, as NSIS
; scripts do without a download plugin: Debian's NSISdl cannot download (it was built against
; MinGW's errno values, so a connect or read that would block counts as failed, and on loopback
; nearly every one would). No hash, no temporary file of its own: its install time is a
; yardstick, not a floor for ours.

Target amd64-unicode
; Pinned, so a change of makensis's default cannot move the size or the start-up.
SetCompressor /SOLID lzma
SetCompressorDictSize 8
ManifestDPIAware true
RequestExecutionLevel admin

!include MUI2.nsh
!include FileFunc.nsh
!include WordFunc.nsh

Name "Velquor Manager NSIS"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Harlune\BenchPeer"
ShowInstDetails show

; The same artwork and licence as ours, so both programs load and show the same things.
!define MUI_ICON "${ROOT}/src/app/res/VelquorManager_Install.ico"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${ROOT}/src/app/res/banner.bmp"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_LANGUAGE "Korean"

!define BASE_URL "http://${HOST}/program/manager/install/"

; Downloads URL into FILE; a failure ends the installation with its HRESULT.
!macro Fetch URL FILE
  System::Call 'urlmon::URLDownloadToFileW(p 0, w "${URL}", w "${FILE}", i 0, p 0) i .r0'
  StrCmp $0 0 +2
    Abort "${URL}: $0"
!macroend

Section
  SetOutPath "$INSTDIR"
  InitPluginsDir
  System::Call 'kernel32::LoadLibraryW(w "urlmon.dll") p .r9'
  !insertmacro Fetch "${BASE_URL}install.inf" "$PLUGINSDIR\install.inf"
  ; The [files] keys count from 1 without a gap; the first missing one ends the list.
  StrCpy $1 1
  next_file:
    ReadINIStr $2 "$PLUGINSDIR\install.inf" "files" "$1"
    StrCmp $2 "" files_done
    ${GetParent} "$INSTDIR\$2" $3
    CreateDirectory "$3"
    ${WordReplace} "$2" "\" "/" "+" $4
    DetailPrint "$2"
    !insertmacro Fetch "${BASE_URL}$4" "$INSTDIR\$2"
    IntOp $1 $1 + 1
    Goto next_file
  files_done:
SectionEnd
