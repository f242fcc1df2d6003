#!/usr/bin/env bash
# Checks the export tables: the library exports only its classes, interfaces, kcm_
# functions and undecorated Create… factories; the platform layer only Win32 C names
# and its Kcm helpers.  check_exports.sh <libKestroCommonModule.so> <libKestroPlatform.so>
set -euo pipefail
library=$1 platform=$2
status=0

defined() { nm -D --defined-only "$1" | awk '{print $3}' | grep -v '^_\(init\|fini\|edata\|end\|_bss_start\)$' || true; }

library_allowed='^((non-virtual thunk to )?(C|I)[A-Z][A-Za-z]*::|Kestro::|KestroCommonUtil::|QCmdLine(Argument|Parser)::|C[A-Z][A-Za-z]*::|I[A-Z][A-Za-z]*::|se_translator::|sym_engine::|kcm_[A-Za-z0-9_]*(\[abi:cxx11\])?\(|vncEncryptPasswd\(|ZT_Dump_[A-Za-z_]*\(|(typeinfo|typeinfo name|vtable) for (Kestro::|C[A-Z]|I[A-Z]|se_translator::)|Create[A-Za-z]+$|(Copy|Delete|Free)MediaType$|GetInterface$)'
unexpected=$(defined "$library" | c++filt | grep -Ev "$library_allowed" || true)
if [[ -n "$unexpected" ]]; then
  echo "libKestroCommonModule.so exports internal names:"; echo "$unexpected"; status=1
fi

mangled_factories=$(defined "$library" | grep -E '^_Z.*Create[A-Z]' | c++filt | grep -E '^Create' || true)
if [[ -n "$mangled_factories" ]]; then
  echo "factories must have plain C names:"; echo "$mangled_factories"; status=1
fi

unexpected=$(defined "$platform" | grep '^_Z' | c++filt | grep -Ev '^Kcm[A-Za-z]*(\[abi:cxx11\])?\(' || true)
if [[ -n "$unexpected" ]]; then
  echo "libKestroPlatform.so exports internal C++ names:"; echo "$unexpected"; status=1
fi

library_names=$(defined "$library" | c++filt)
platform_names=$(defined "$platform")
for name in kcm_logExpression kcm_setDefaultLogFile "Kestro::CIOBuffer::write" "CThreadLock::Lock" \
    "se_translator::translator" "sym_engine::stack_trace" ZT_Dump_Access_violation "QCmdLineParser::parse" \
    "CBasePin::Connect" "CBaseFilter::Pause" "CMediaType::MatchesPartial" "CSampleSourceFilter::CreateInstance" \
    "CSampleRenderFilter::CreateInstance" kcm_createInstance; do
  grep -q "^$name(" <<<"$library_names" || { echo "missing export $name"; status=1; }
done
for name in "typeinfo for CThreadLock" "vtable for CThreadLockHandle" "typeinfo for se_translator::access_violation" \
    "vtable for CBaseInputPin" "typeinfo for CBaseOutputPin" "vtable for CMemAllocator" CreateMediaType DeleteMediaType CreateCloudTourControl; do
  grep -qx "$name" <<<"$library_names" || { echo "missing export $name"; status=1; }
done
for name in LoadLibraryW GetProcAddress WaitForMultipleObjects GetQueuedCompletionStatus PostThreadMessageW _beginthreadex \
    _set_se_translator RtlCaptureContext CreateFileW WriteFile SetCommState ClearCommError; do
  grep -qx "$name" <<<"$platform_names" || { echo "missing export $name"; status=1; }
done
[[ $status -eq 0 ]] && echo "export tables ok"
exit $status
