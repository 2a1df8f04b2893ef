/* Inspects, checks and repairs one AVI file with Plovik's C interface.
 *
 *     cc inspect_check_repair.c $(pkg-config --cflags --libs plovik) -o inspect_check_repair
 *     ./inspect_check_repair damaged.avi repaired.avi
 *
 * Prints the record, the verdict with its findings, and the repair's summary. */
#include <inttypes.h>
#include <plovik/plovik.h>
#include <stdio.h>

static const char* const verdicts[] = {"unreadable", "damaged", "warnings", "ok"};
static const char* const severities[] = {"error", "warning", "info"};

/* Shows how far a long run has come; returning nonzero would stop it. */
static int show_progress(void* user, uint64_t done, uint64_t total) {
    (void)user;
    fprintf(stderr, "\r%3" PRIu64 "%%", total != 0 ? done * 100 / total : 0);
    return 0;
}

static int fail(const char* what, plovik_status status) {
    fprintf(stderr, "%s: %s (%s)\n", what, plovik_status_text(status), plovik_last_error());
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s IN OUT\n", argv[0]);
        return 2;
    }
    printf("plovik %s\n", plovik_version());

    /* Inspect and check: the headers, the index and the movie data. */
    plovik_file* file = NULL;
    plovik_status status = plovik_open(argv[1], PLOVIK_OPEN_SCAN, show_progress, NULL, &file);
    if (status != PLOVIK_OK) return fail("open", status);
    const char* reason = NULL;
    if (plovik_file_failure(file, &reason) != PLOVIK_OK) printf("unreadable: %s\n", reason);

    char* record = NULL;
    status = plovik_record(file, PLOVIK_RECORD_CHECK, &record, NULL);
    if (status != PLOVIK_OK) {
        plovik_close(file);
        return fail("record", status);
    }
    printf("%s", record); /* one JSON object and its line end */
    plovik_free(record);

    plovik_verdict verdict = PLOVIK_VERDICT_UNREADABLE;
    size_t count = 0;
    plovik_verdict_of(file, &verdict);
    plovik_finding_count(file, &count);
    printf("verdict: %s\n", verdicts[verdict]);
    for (size_t i = 0; i < count; ++i) {
        plovik_finding finding;
        plovik_finding_at(file, i, &finding);
        printf("  %s %s: %s\n", severities[finding.severity], finding.rule, finding.message);
    }
    plovik_close(file);

    /* Repair into OUT: written whole and checked, or not at all. */
    char* summary = NULL;
    status = plovik_repair(argv[1], argv[2], NULL, 0, show_progress, NULL, &summary, NULL);
    fprintf(stderr, "\n");
    if (summary != NULL) printf("%s", summary);
    plovik_free(summary);
    return status == PLOVIK_OK ? 0 : fail("repair", status);
}
