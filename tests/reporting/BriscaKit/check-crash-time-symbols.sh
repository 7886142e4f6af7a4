#!/usr/bin/env bash
# Fails when an object file of the crash-time code refers to the heap, to
# throwing, to stdio or to other calls that are not safe in a signal handler.
set -euo pipefail
forbidden='^(malloc|calloc|realloc|free|aligned_alloc|posix_memalign|_Znw.*|_Zna.*|_Zdl.*|_Zda.*|__cxa_throw|__cxa_allocate_exception|__cxa_demangle|printf|fprintf|sprintf|snprintf|vsnprintf|vfprintf|puts|fputs|fputc|putchar|fwrite|fopen|fclose|fflush|stdout|stderr|strerror|dl_iterate_phdr|dladdr|backtrace|backtrace_symbols|pthread_mutex_lock|_ZNSt6mutex4lockEv)(@.*)?$'
status=0
for object in "$@"; do
  while read -r symbol; do
    if [[ "$symbol" =~ $forbidden ]]; then
      echo "$(basename "$object"): refers to $symbol"
      status=1
    fi
  done < <(nm --undefined-only --format=just-symbols "$object")
done
[ "$status" -eq 0 ] && echo "crash-time objects checked: $#"
exit "$status"
