#!/bin/sh
# Checks the tables of a built VelmConv32.dll: the export table must hold
# exactly the ten entry points under their plain names (no @N decoration,
# nothing else), and the library may import only Windows' own DLLs (no
# libgcc, libstdc++ or winpthread runtime DLLs beside it). The one other
# DLL is ijl11.dll, the JPEG library stand-in beside it: bound by ordinals
# 2 to 5 only, which the ijl11.dll beside it must export. None of the DLLs
# shipped together imports a function that Windows XP lacks.
#
# Usage: check_exports.sh <objdump> <VelmConv32.dll> [--skip-missing]
#   e.g. scripts/check_exports.sh i686-w64-mingw32-objdump build/win32/VelmConv32.dll
# Exit 0 when the tables are right, 1 when not, 77 when the DLL is missing
# and --skip-missing was given.
set -u
objdump=${1:?objdump tool}
dll=${2:?DLL}
if [ ! -f "$dll" ]; then
    if [ "${3:-}" = "--skip-missing" ]; then
        echo "skipped: $dll has not been built"
        exit 77
    fi
    echo "FAIL: $dll not found" >&2
    exit 1
fi

dump=$("$objdump" -p "$dll") || { echo "FAIL: $objdump cannot read $dll" >&2; exit 1; }
status=0

expected="DetectFileFormat
DllMain
GetDesiredBitPix
GetFormats
GetPreviewImage
LoadConvImage
NewConvFile
NotifyFrameChange
ProcessCommand
SaveConvImage"
# Lines of the name table look like "	[   3] GetFormats".
exports=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
          sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*\(.*\)$/\1/p' | LC_ALL=C sort)
if [ "$exports" != "$expected" ]; then
    echo "FAIL: export names of $dll differ from the ten entry points:" >&2
    printf '%s\n' "$exports" | sed 's/^/  /' >&2
    status=1
fi

# Windows' own DLLs (compared without regard to case).
allowed=" kernel32.dll user32.dll gdi32.dll comdlg32.dll advapi32.dll msvcrt.dll shell32.dll "
allowed="$allowed ole32.dll oleaut32.dll version.dll winmm.dll comctl32.dll msvfw32.dll avifil32.dll ijl11.dll "
imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || { echo "FAIL: no import table found in $dll" >&2; status=1; }
for name in $imports; do
    case "$allowed" in
    *" $name "*) ;;
    *)
        echo "FAIL: $dll imports $name, which is not part of Windows" >&2
        status=1
        ;;
    esac
done

if printf '%s\n' "$imports" | grep -qx 'ijl11.dll'; then
    # Import lines: "<thunk> <ordinal> <name or <none>>".
    block=$(printf '%s\n' "$dump" | sed -n '/DLL Name: [iI][jJ][lL]11\.dll/,/^$/p' | sed '1,2d')
    ords=$(printf '%s\n' "$block" | awk 'NF >= 3 {sub(/^0+/, "", $2); print $2}' | sort -n | tr '\n' ' ')
    named=$(printf '%s\n' "$block" | awk 'NF >= 3 && $3 != "<none>"')
    if [ "$ords" != "2 3 4 5 " ] || [ -n "$named" ]; then
        echo "FAIL: $dll must import ijl11.dll by ordinals 2 to 5 only, not: $ords $named" >&2
        status=1
    fi
    jl="$(dirname "$dll")/ijl11.dll"
    if [ ! -f "$jl" ]; then
        echo "FAIL: ijl11.dll is not beside $dll" >&2
        status=1
    else
        jdump=$("$objdump" -p "$jl")
        exported=$(printf '%s\n' "$jdump" | sed -n '/Export Address Table -- Ordinal Base/,/^$/p' |
                   sed -n 's/.*+base\[ *\([0-9]*\)\].*/\1/p' | sort -n | tr '\n' ' ')
        jnames=$(printf '%s\n' "$jdump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -c '^[[:space:]]*\[ *[0-9]' || true)
        if [ "$exported" != "2 3 4 5 " ] || [ "$jnames" != "0" ]; then
            echo "FAIL: ijl11.dll must export ordinals 2 to 5 without names, not: $exported($jnames names)" >&2
            status=1
        fi
    fi
fi

# Nothing Windows XP lacks: no DLL the product ships (the library, the
# stand-in beside it, the video library when it is built) imports a
# function that came with Windows Vista or later, and every header asks for
# a subsystem version XP runs: 5.1 at most, 5.2 for 64-bit DLLs (XP x64).
vista="
GetTickCount64 GetSystemTimePreciseAsFileTime GetCurrentProcessorNumber GetActiveProcessorCount
GetLogicalProcessorInformationEx QueryThreadCycleTime QueryProcessCycleTime QueryIdleProcessorCycleTime
InitializeSRWLock AcquireSRWLockExclusive AcquireSRWLockShared ReleaseSRWLockExclusive
ReleaseSRWLockShared TryAcquireSRWLockExclusive TryAcquireSRWLockShared
InitializeConditionVariable SleepConditionVariableCS SleepConditionVariableSRW
WakeConditionVariable WakeAllConditionVariable WaitOnAddress WakeByAddressSingle WakeByAddressAll
InitOnceInitialize InitOnceExecuteOnce InitOnceBeginInitialize InitOnceComplete
InitializeCriticalSectionEx CreateEventExA CreateEventExW CreateMutexExA CreateMutexExW
CreateSemaphoreExA CreateSemaphoreExW CreateWaitableTimerExW
FlsAlloc FlsFree FlsGetValue FlsSetValue GetThreadId GetProcessIdOfThread CreateRemoteThreadEx
CreateThreadpoolWork SubmitThreadpoolWork CloseThreadpoolWork WaitForThreadpoolWorkCallbacks
CreateThreadpoolTimer SetThreadpoolTimer CloseThreadpoolTimer CreateThreadpoolWait
InitializeProcThreadAttributeList UpdateProcThreadAttribute DeleteProcThreadAttributeList
GetFinalPathNameByHandleA GetFinalPathNameByHandleW GetFileInformationByHandleEx
SetFileInformationByHandle GetVolumeInformationByHandleW SetFileCompletionNotificationModes
CreateSymbolicLinkA CreateSymbolicLinkW CreateFile2 GetOverlappedResultEx
CancelIoEx CancelSynchronousIo GetQueuedCompletionStatusEx GetNamedPipeClientProcessId
QueryFullProcessImageNameA QueryFullProcessImageNameW GetProductInfo
GetErrorMode SetThreadErrorMode GetThreadErrorMode
SetDefaultDllDirectories AddDllDirectory RemoveDllDirectory
GetLocaleInfoEx LCMapStringEx CompareStringEx CompareStringOrdinal GetUserDefaultLocaleName
GetSystemDefaultLocaleName LocaleNameToLCID LCIDToLocaleName ResolveLocaleName IdnToAscii IdnToUnicode
GetDynamicTimeZoneInformation SetDynamicTimeZoneInformation
RegisterApplicationRestart RegisterApplicationRecoveryCallback
SetProcessDPIAware IsProcessDPIAware SetProcessDpiAwarenessContext GetDpiForWindow GetDpiForSystem
GetSystemMetricsForDpi SystemParametersInfoForDpi AdjustWindowRectExForDpi EnableNonClientDpiScaling
LogicalToPhysicalPoint PhysicalToLogicalPoint ChangeWindowMessageFilter ChangeWindowMessageFilterEx
AddClipboardFormatListener RemoveClipboardFormatListener RegisterPowerSettingNotification
ShutdownBlockReasonCreate ShutdownBlockReasonDestroy CalculatePopupWindowPosition
GetWindowDisplayAffinity SetWindowDisplayAffinity RegisterTouchWindow IsTouchWindow GetGestureInfo
RegGetValueA RegGetValueW RegDeleteTreeA RegDeleteTreeW RegSetKeyValueA RegSetKeyValueW
RegDeleteKeyValueA RegDeleteKeyValueW RegCopyTreeW RegLoadMUIStringA RegLoadMUIStringW
RegDeleteKeyExA RegDeleteKeyExW EventRegister EventUnregister EventWrite
SHGetKnownFolderPath SHCreateItemFromParsingName SHGetStockIconInfo SHGetPropertyStoreForWindow
TaskDialog TaskDialogIndirect LoadIconMetric LoadIconWithScaleDown CoGetApartmentType
memcpy_s memmove_s strcpy_s strncpy_s strcat_s strncat_s strtok_s wcscpy_s wcsncpy_s wcscat_s
sprintf_s vsprintf_s _snprintf_s _vsnprintf_s _vscprintf_p fopen_s _wfopen_s freopen_s qsort_s
_itoa_s _ultoa_s _i64toa_s _localtime64_s _gmtime64_s _ctime64_s _get_output_format
"
shipped="$dll"
dir=$(dirname "$dll")
for f in "$dir"/*; do
    case $(basename "$f" | tr 'A-Z' 'a-z') in
    ijl11.dll | velmvfw32.dll) shipped="$shipped
$f" ;;
    esac
done
while IFS= read -r lib; do
    ldump=$("$objdump" -p "$lib") || { echo "FAIL: $objdump cannot read $lib" >&2; status=1; continue; }
    # Import blocks: "DLL Name: X", a heading, then "<vma> <hint> <name>".
    late=$(printf '%s\n' "$ldump" | awk -v list="$vista" '
        BEGIN { n = split(list, v); for (i = 1; i <= n; i++) late[v[i]] = 1 }
        /DLL Name:/ { from = $3; next }
        /^[[:space:]]*$/ { from = "" }
        from != "" && NF >= 3 && ($3 in late) { print $3 " (" from ")" }')
    if [ -n "$late" ]; then
        echo "FAIL: $(basename "$lib") imports what no Windows before Vista has:" $late >&2
        status=1
    fi
    major=$(printf '%s\n' "$ldump" | awk '$1 == "MajorSubsystemVersion" { print $2 }')
    minor=$(printf '%s\n' "$ldump" | awk '$1 == "MinorSubsystemVersion" { print $2 }')
    xp=501
    printf '%s\n' "$ldump" | grep -q '^Magic[[:space:]]*020b' && xp=502
    if [ -z "$major" ] || [ $((major * 100 + minor)) -gt $xp ]; then
        echo "FAIL: $(basename "$lib") asks for subsystem version $major.$minor; Windows XP runs $((xp / 100)).$((xp % 100)) at most" >&2
        status=1
    fi
done <<EOF_SHIPPED
$shipped
EOF_SHIPPED

if [ $status -eq 0 ]; then
    echo "ok: $dll exports the ten entry points and imports only $(echo $imports)," \
         "and $(printf '%s\n' "$shipped" | wc -l) DLL(s) import nothing newer than Windows XP"
fi
exit $status
