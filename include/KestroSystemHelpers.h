// System and network helpers: the process environment, module paths, directories, the
// autorun entry, local ports and addresses, a TCP reachability probe and the VNC
// password form. They keep no state and take no lock; the environment functions share
// the usual races of the process environment.
//
// Linux forms of the Windows conventions: paths keep '/', PATH entries are joined with
// ':', and autorun is an XDG autostart entry instead of a registry value.
#pragma once

#include <string>
#include <vector>

#include "KestroExport.h"

// The variable's value with %NAME% references expanded as Windows does (a reference to
// a variable that does not exist stays as written); empty if the variable does not exist
// or name is null.
KCM_API std::wstring kcm_getEnv(const wchar_t* name);

// Sets the variable; a null value removes it. A null name, or one with '=', does nothing.
KCM_API void kcm_setEnv(const wchar_t* name, const wchar_t* value);

// The absolute directory of a loaded module ("Name.dll" or a path, as LoadLibraryW takes
// it; null for the executable), without a trailing '/'. A module that is not loaded
// names the executable, as GetModuleHandleW's null answer does on Windows.
KCM_API std::wstring kcm_getModulePath(const wchar_t* moduleName);

// Appends the module's directory to PATH, even if PATH holds it already. An empty PATH
// becomes the directory alone: on Linux an empty entry would add the working directory.
KCM_API void kcm_addModulePathToEnv(const wchar_t* moduleName);

// Creates every missing directory of the path: the whole path when isDirectory is
// non-zero, else everything up to its last '/'. Failures are silent.
KCM_API void kcm_makesureExistDir(const wchar_t* path, int isDirectory);

// Writes (enable non-zero, programPath not null) or removes the autostart entry
// "<value name>.desktop" that starts programPath at login. The value name is valueName,
// or, when that is null, programPath without '\', '/' and ':'; a '/' in a given name is
// dropped as well, and an empty name does nothing. The entry goes to the machine-wide
// folder (the first of $XDG_CONFIG_DIRS, default /etc/xdg, then "/autostart") when that
// folder exists and may be written, else to $XDG_CONFIG_HOME/autostart (default
// ~/.config/autostart), which is created if needed. Failures are silent.
KCM_API void kcm_regAutoRun(int enable, const wchar_t* programPath, const wchar_t* valueName);

// 1 if an IPv4 socket (tcp non-zero: stream, else datagram) binds to the port on all
// local addresses, else 0. The port is taken modulo 65536; port 0 always binds.
KCM_API int kcm_checkValidNetPort(unsigned long port, int tcp);

// The first port p from firstPort on, in steps of `step`, for which p and p + 1 both
// bind (an RTP/RTCP pair); 0 once p reaches 30000 (the first port is always tried).
// A step of 0 tries the first port only.
KCM_API unsigned long kcm_getFreePort(unsigned long firstPort, unsigned long step, int tcp);

// Appends "0.0.0.0", then the IPv4 address of every interface that is up, in dotted
// form. Loopback addresses are listed only when no other interface has one, as Windows
// resolving its own host name does.
KCM_API void kcm_getNetAddrList(std::vector<std::wstring>& list);

// 1 if a TCP connection to the dotted IPv4 address and port (modulo 65536) completes
// within timeoutSeconds, else 0. A refused connection answers 0 as soon as it is
// refused (Windows waited out the time-out); a null or malformed address answers 0.
KCM_API int kcm_testConnectServer(const char* address, unsigned long port, int timeoutSeconds);

// The 8-byte VNC authentication form of the password: its first 8 characters, padded
// with zero bytes, DES-encrypted under the VNC scheme's fixed key. A null password
// counts as empty; with a null output nothing is written. Always answers 8.
KCM_API int vncEncryptPasswd(const char* passwd, char* encryptedPasswd);
