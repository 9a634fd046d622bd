/* untgz.h: the entry of libuntgz.so, the ZAXTarGzip engine, for C and C++ callers.
 *
 * The library exports one function. Each call names a command word ("zaxuntar",
 * "status", "getintret", "tarinfo", ...) and passes three operands: integers, addresses of
 * NUL-terminated strings, or addresses of the caller's output buffers. It answers at once;
 * an extraction or a listing runs on a worker thread of the library, and the caller asks
 * "status" until it answers 0, then "getintret" for the job's result (0 success, 3 damaged
 * compressed data, 5 not opened, 8 not a readable tar, 9 members not extracted, 40 and
 * above a refused destination). Paths are given in Windows form, drive Z: standing for
 * the root: /tmp/a.tar is Z:\tmp\a.tar. The README lists the words.
 *
 * Link with -luntgz. A caller that loads the library itself finds the entry by the name
 * "interface1" and calls it through the type untgz_entry.
 */
#ifndef UNTGZ_H
#define UNTGZ_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

int32_t interface1(const char* command, intptr_t operand1, intptr_t operand2, intptr_t operand3);

typedef int32_t (*untgz_entry)(const char* command, intptr_t operand1, intptr_t operand2,
                               intptr_t operand3);

#ifdef __cplusplus
}
#endif

#endif /* UNTGZ_H */
