/* Plovik's C interface: analyse an AVI file (a path, or bytes a read callback gives), get
 * its record as the JSON object `plovik-report --format json` writes, its check verdict and
 * findings, and repair a damaged file into a new one.
 *
 * Rich results travel as JSON text; the rest is plain C. No call throws or aborts on any
 * input: every failure is a status code, with a message from plovik_last_error(). Separate
 * handles may be used on separate threads at once; one handle is used by one thread at a
 * time. Texts are UTF-8; paths are UTF-8 too.
 *
 * Link with `pkg-config --libs plovik`, or in CMake: find_package(plovik) and plovik::plovik.
 */
#ifndef PLOVIK_PLOVIK_H
#define PLOVIK_PLOVIK_H

#include <stddef.h>
#include <stdint.h>

#if defined(PLOVIK_BUILDING_LIBRARY) && defined(__GNUC__)
#define PLOVIK_API __attribute__((visibility("default")))
#else
#define PLOVIK_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The version this header belongs to; plovik_version() gives the library's own. */
#define PLOVIK_VERSION_MAJOR 1
#define PLOVIK_VERSION_MINOR 0
#define PLOVIK_VERSION_PATCH 0

/* "1.0.0": the version of the library that is loaded. */
PLOVIK_API const char* plovik_version(void);

/* What a call came to. New codes may be added; treat an unknown one as a failure. */
typedef enum plovik_status {
    PLOVIK_OK = 0,
    PLOVIK_ERROR_ARGUMENT = 1,       /* a null pointer, an empty path, an unknown flag */
    PLOVIK_ERROR_NO_MEMORY = 2,      /* the library ran out of memory */
    PLOVIK_ERROR_STOPPED = 3,        /* the progress callback asked to stop */
    PLOVIK_ERROR_OPEN = 4,           /* the file cannot be opened (the system's reason) */
    PLOVIK_ERROR_NOT_AVI = 5,        /* the file is not a RIFF AVI file */
    PLOVIK_ERROR_HEADER = 6,         /* its header list or main header cannot be read */
    PLOVIK_ERROR_READ = 7,           /* a read of the file failed */
    PLOVIK_ERROR_REFUSED = 8,        /* repair: the output is the input, or exists */
    PLOVIK_ERROR_NOT_REPAIRABLE = 9, /* repair: nothing in the input to repair from */
    PLOVIK_ERROR_REPAIR_FAILED = 10, /* repair: reading, writing or checking the copy failed */
    PLOVIK_ERROR_UNSUPPORTED = 11,   /* an option this library does not support yet */
    PLOVIK_ERROR_INTERNAL = 12       /* a fault inside the library */
} plovik_status;

/* A short English text for a status ("the file is not a RIFF AVI file"); never null. */
PLOVIK_API const char* plovik_status_text(int status);

/* Why this thread's last call that failed failed, with the details (a path, the system's
 * reason); "" before any failure. Valid until this thread's next failing call. */
PLOVIK_API const char* plovik_last_error(void);

/* Frees a text the library handed out (records, summaries). Null is ignored. */
PLOVIK_API void plovik_free(char* text);

/* Called now and then during a long run (a data scan, a repair) with the bytes done and the
 * bytes to do, on the thread that made the call. A nonzero return stops the run soon: this
 * is the stop flag, so a callback may return a flag that another thread or a signal handler
 * sets. */
typedef int (*plovik_progress_fn)(void* user, uint64_t done, uint64_t total);

/* The bytes of a file the caller provides. read reads up to n bytes at position into
 * buffer and returns the count read (0 at or past the end), or -1 on an error. */
typedef struct plovik_reader {
    void* user;
    uint64_t size;
    int64_t (*read)(void* user, uint64_t position, void* buffer, size_t n);
} plovik_reader;

/* One analysed file: its headers and index, and its movie data when they were scanned. */
typedef struct plovik_file plovik_file;

/* Flags of plovik_open and plovik_open_reader. */
#define PLOVIK_OPEN_SCAN 1u /* also read the movie data (every chunk header; no media) */

/* Analyses the file at path. On PLOVIK_OK *file is a new handle, also when the file turned
 * out unreadable: plovik_file_failure() and the record say what became of it. progress (may
 * be null) is called during the scan. Fails with PLOVIK_ERROR_ARGUMENT, _NO_MEMORY,
 * _STOPPED or _INTERNAL, and then *file is null. */
PLOVIK_API plovik_status plovik_open(const char* path, unsigned flags, plovik_progress_fn progress,
                                     void* user, plovik_file** file);

/* The same over the caller's bytes; name (may be null: "") is the record's path. The
 * reader is used during this call only: the handle keeps what it found, not the bytes. */
PLOVIK_API plovik_status plovik_open_reader(const plovik_reader* reader, const char* name,
                                            unsigned flags, plovik_progress_fn progress, void* user,
                                            plovik_file** file);

/* Ends a handle. Null is ignored. */
PLOVIK_API void plovik_close(plovik_file* file);

/* What the analysis came to: PLOVIK_OK when the file gave its report, else
 * PLOVIK_ERROR_OPEN, _NOT_AVI, _HEADER or _READ. *message (may be null) gets the reason,
 * "" for PLOVIK_OK, valid while the handle lives. */
PLOVIK_API plovik_status plovik_file_failure(plovik_file* file, const char** message);

/* Flags of plovik_record. */
#define PLOVIK_RECORD_CHECK 1u      /* the verdict and findings (--check) */
#define PLOVIK_RECORD_KEY_FRAMES 2u /* every key frame's time (--key-frames) */

/* The file's record: the bytes `plovik-report --format json` writes for it, "\n" at the
 * end, with the scan object when the data were scanned. *json is freed with plovik_free;
 * *length (may be null) gets its length. */
PLOVIK_API plovik_status plovik_record(plovik_file* file, unsigned flags, char** json,
                                       size_t* length);

/* What the check makes of a file, worst first. */
typedef enum plovik_verdict {
    PLOVIK_VERDICT_UNREADABLE = 0,
    PLOVIK_VERDICT_DAMAGED = 1,
    PLOVIK_VERDICT_WARNINGS = 2,
    PLOVIK_VERDICT_OK = 3
} plovik_verdict;

typedef enum plovik_severity {
    PLOVIK_SEVERITY_ERROR = 0,
    PLOVIK_SEVERITY_WARNING = 1,
    PLOVIK_SEVERITY_INFO = 2
} plovik_severity;

/* One finding of the check. The texts are valid while the handle lives. */
typedef struct plovik_finding {
    const char* rule; /* "riff.truncated" */
    int severity;     /* a plovik_severity */
    int has_position; /* position is the byte it applies to */
    uint64_t position;
    int has_length; /* length is that of a region */
    uint64_t length;
    const char* message; /* "truncated (71683 bytes missing)" */
} plovik_finding;

/* The verdict of the check; without a scan the movie data are not judged. */
PLOVIK_API plovik_status plovik_verdict_of(plovik_file* file, plovik_verdict* verdict);
/* The number of findings, in file order. */
PLOVIK_API plovik_status plovik_finding_count(plovik_file* file, size_t* count);
/* Finding index (from 0). */
PLOVIK_API plovik_status plovik_finding_at(plovik_file* file, size_t index,
                                           plovik_finding* finding);

/* The rules of the check (`plovik-report --list-rules`): their number, and rule index's
 * id, severity and summary (static texts; either pointer may be null). */
PLOVIK_API size_t plovik_rule_count(void);
PLOVIK_API plovik_status plovik_rule_at(size_t index, const char** id, int* severity,
                                        const char** summary);

/* Flags of plovik_repair, as plovik-repair's options. */
#define PLOVIK_REPAIR_DRY_RUN 1u /* --dry-run: plan only, write nothing */
#define PLOVIK_REPAIR_FORCE 2u   /* --force: replace an existing output */

/* Repairs the file at input into output, as plovik-repair does: the copy appears under
 * output whole, checked, or not at all. reference (may be null) is, for an input whose headers
 * are lost, a file recorded the same way whose header list rebuilds them once checked against
 * the input's data (plovik-repair --reference); it is only read. PLOVIK_OK when written (or, in a
 * dry run, when it would be); else PLOVIK_ERROR_REFUSED, _NOT_REPAIRABLE, _REPAIR_FAILED or
 * _STOPPED. Whenever the repair ran, *summary (may be null) gets the summary as
 * `plovik-repair --format json` prints it, "\n" at the end, freed with plovik_free. */
PLOVIK_API plovik_status plovik_repair(const char* input, const char* output, const char* reference,
                                       unsigned flags, plovik_progress_fn progress, void* user,
                                       char** summary, size_t* length);

#ifdef __cplusplus
}
#endif

#endif /* PLOVIK_PLOVIK_H */
