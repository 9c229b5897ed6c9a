/* libkindsniffer: tells a file's type from its bytes, by a signature set.
 *
 * A program opens a signature set once (from a file or from bytes it
 * holds), identifies as many files or buffers against it as it likes, reads
 * each result, and frees what it opened. Every string the library hands out
 * is UTF-8 and NUL-terminated.
 *
 * Threads: an opened set is never changed after it is opened, so any number
 * of threads may identify against one set at the same time, without a lock.
 * A result belongs to the thread that holds it; free it once. No call keeps
 * state for a later one or reads the environment: what a call uses is what
 * the caller handed it. The library learns once, and keeps, only what the
 * processor offers and how many processors the process may use. Error
 * messages are the system's own, in its language.
 *
 * Ownership: kindsniffer_set_open_* return a set that only kindsniffer_set_free
 * frees; kindsniffer_identify_* return a result that only
 * kindsniffer_result_free frees. A string read from a result lives as long as
 * the result. kindsniffer_error is the caller's own struct.
 */
#ifndef KINDSNIFFER_H
#define KINDSNIFFER_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  if defined(KINDSNIFFER_BUILDING)
#    define KINDSNIFFER_EXPORT __declspec(dllexport)
#  else
#    define KINDSNIFFER_EXPORT __declspec(dllimport)
#  endif
#elif defined(KINDSNIFFER_BUILDING)
#  define KINDSNIFFER_EXPORT __attribute__((visibility("default")))
#else
#  define KINDSNIFFER_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The version of this interface. It grows when functions are added; a
 * change that breaks a caller comes with a new SONAME (libkindsniffer.so.N). */
#define KINDSNIFFER_API_VERSION 1

/* The interface version of the library actually loaded, KINDSNIFFER_API_VERSION
 * as it was built. A caller compiled against a newer header checks it before
 * using a function this one added. */
KINDSNIFFER_EXPORT int kindsniffer_api_version(void);

/* The release of the library, "0.4.0". Static storage. */
KINDSNIFFER_EXPORT const char* kindsniffer_version(void);

/* ---- Errors in opening a set ---------------------------------------------- */

typedef enum kindsniffer_error_code {
    KINDSNIFFER_OK = 0,
    /* A null pointer where one is needed. */
    KINDSNIFFER_ERROR_ARGUMENT = 1,
    /* The set's file could not be opened or read; system_error holds why. */
    KINDSNIFFER_ERROR_READ = 2,
    /* The set's file is a folder, a device or another kind that is no regular file. */
    KINDSNIFFER_ERROR_NOT_A_FILE = 3,
    /* Larger than any set: 256 MiB. */
    KINDSNIFFER_ERROR_TOO_LARGE = 4,
    /* Not well-formed XML, or empty; line and column say where. */
    KINDSNIFFER_ERROR_XML = 5,
    /* Well-formed, but no <dat><types> list: no file could ever be named. */
    KINDSNIFFER_ERROR_NO_TYPES = 6,
    /* Memory ran out. */
    KINDSNIFFER_ERROR_MEMORY = 7
} kindsniffer_error_code;

/* Why a set did not open. The caller owns it; the library only writes it. */
typedef struct kindsniffer_error {
    int32_t code;          /* a kindsniffer_error_code */
    int32_t system_error;  /* KINDSNIFFER_ERROR_READ: errno, or GetLastError() on Windows; else 0 */
    uint32_t line;         /* KINDSNIFFER_ERROR_XML: the line (from 1) where the XML fails; else 0 */
    uint32_t column;       /* the column (from 1, in bytes) on that line, or 0 where not known */
    char message[512];     /* the whole reason in words, UTF-8, NUL-terminated; "" on success */
} kindsniffer_error;

/* ---- Signature sets ------------------------------------------------------- */

typedef struct kindsniffer_set kindsniffer_set;

/* Opens the signature set in the file at `path` (UTF-8 on every platform).
 * A set that is not well-formed is refused, unlike the console program, which
 * warns and keeps the types before the error: a caller here cannot see the
 * warning. Returns null on failure and, when `error` is not null, fills it
 * (on success too, with KINDSNIFFER_OK). */
KINDSNIFFER_EXPORT kindsniffer_set* kindsniffer_set_open_file(const char* path, kindsniffer_error* error);

/* The same for a set the caller holds in memory: `length` bytes at `bytes`
 * (null only when length is 0), copied as needed, so that they may be freed
 * once the call returns. */
KINDSNIFFER_EXPORT kindsniffer_set* kindsniffer_set_open_memory(const void* bytes, size_t length,
                                                                kindsniffer_error* error);

/* Opens the set that ships with the library: Kindsniffer.xml in the
 * library's own folder, or else where the install put it (on Linux
 * share/kindsniffer/ under the library's prefix). On failure the message
 * names the places looked in. */
KINDSNIFFER_EXPORT kindsniffer_set* kindsniffer_set_open_shipped(kindsniffer_error* error);

/* The number of types in an opened set that can be reported (those with at least one pattern). */
KINDSNIFFER_EXPORT size_t kindsniffer_set_type_count(const kindsniffer_set* set);

/* Frees a set. Null is allowed. No identify call may be running on it. */
KINDSNIFFER_EXPORT void kindsniffer_set_free(kindsniffer_set* set);

/* ---- Identifying ---------------------------------------------------------- */

typedef struct kindsniffer_result kindsniffer_result;

/* Flags for the identify calls. */
#define KINDSNIFFER_EXPLAIN 1u  /* keep the basis of the answer for kindsniffer_result_basis */

/* Identifies the file at `path` (UTF-8 on every platform) by the set. The
 * file is opened for shared reading and never written. A file that cannot be
 * read gives a result in the state KINDSNIFFER_UNREADABLE, not a null.
 * Returns null only when `set` or `path` is null or memory ran out.
 * Safe to call from many threads on one set. */
KINDSNIFFER_EXPORT kindsniffer_result* kindsniffer_identify_file(const kindsniffer_set* set, const char* path,
                                                                 unsigned flags);

/* Identifies `length` bytes at `bytes` as if they were a file's whole
 * contents: the same tests, reading nothing outside the buffer and keeping no
 * pointer to it after the call. `bytes` may be null only when length is 0.
 * Returns null only when `set` is null, `bytes` is null with a length, or
 * memory ran out. Safe to call from many threads on one set. */
KINDSNIFFER_EXPORT kindsniffer_result* kindsniffer_identify_buffer(const kindsniffer_set* set, const void* bytes,
                                                                   size_t length, unsigned flags);

/* Frees a result and every string read from it. Null is allowed. */
KINDSNIFFER_EXPORT void kindsniffer_result_free(kindsniffer_result* result);

/* ---- Reading a result ----------------------------------------------------- */

typedef enum kindsniffer_state {
    KINDSNIFFER_UNDETERMINED = 0,  /* read, but no type of the set matched (an empty file never does) */
    KINDSNIFFER_DETECTED = 1,      /* a type matched: title, extensions, MIME type and general tell it */
    KINDSNIFFER_UNREADABLE = 2     /* the file could not be opened, is no regular file, or a read failed */
} kindsniffer_state;

KINDSNIFFER_EXPORT kindsniffer_state kindsniffer_result_state(const kindsniffer_result* result);

/* The type's title, "" unless detected. */
KINDSNIFFER_EXPORT const char* kindsniffer_result_title(const kindsniffer_result* result);

/* The type's extensions, with their leading period (".png"), in the set's
 * order, the first the one to offer. 0 unless detected; a type may have none. */
KINDSNIFFER_EXPORT size_t kindsniffer_result_extension_count(const kindsniffer_result* result);
/* Extension `index`, or null when index >= the count. */
KINDSNIFFER_EXPORT const char* kindsniffer_result_extension(const kindsniffer_result* result, size_t index);

/* The type's first MIME type ("image/png"), or "" when it has none or nothing was detected. */
KINDSNIFFER_EXPORT const char* kindsniffer_result_mime_type(const kindsniffer_result* result);

/* 1 when the answer names a family of formats ("Text", "ZIP archive") rather
 * than one format, so that a program should not rename by it; else 0. */
KINDSNIFFER_EXPORT int kindsniffer_result_general(const kindsniffer_result* result);

/* KINDSNIFFER_UNREADABLE only: the system's code and its message. The code is
 * errno on POSIX and GetLastError() on Windows; a folder is EISDIR
 * (ERROR_DIRECTORY), another kind of file that is no regular one ENOTSUP
 * (ERROR_NOT_SUPPORTED), and a read that failed after the open EIO
 * (ERROR_READ_FAULT). 0 and "" in the other states. */
KINDSNIFFER_EXPORT int kindsniffer_result_system_error(const kindsniffer_result* result);
KINDSNIFFER_EXPORT const char* kindsniffer_result_error_message(const kindsniffer_result* result);

/* Why the answer is what it is, as the console program's --explain prints it:
 * one line per entry, each ended by '\n' (the type's line in the set and how
 * many types were tried, then each pattern that held and where). "" for an
 * unreadable file, or when the identify call was not given KINDSNIFFER_EXPLAIN. */
KINDSNIFFER_EXPORT const char* kindsniffer_result_basis(const kindsniffer_result* result);

#ifdef __cplusplus
}
#endif

#endif /* KINDSNIFFER_H */
