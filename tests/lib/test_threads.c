/* One opened set shared by 8 threads at once, each identifying every file by
 * path and as a buffer: every answer must be the one a single thread got.
 * Under ThreadSanitizer (the tsan preset) it also must draw no report.
 *
 *   test_threads SET FILE...
 *
 * A large buffer, searched by a second set, makes each run start the search
 * pass's second reader, so that threads within threads meet as well. */
#include "kindsniffer.h"

#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kThreads = 8, kRounds = 3, kLarge = 9 << 20 };

struct Input {
    const kindsniffer_set* set;
    const char* path;  /* or null: a buffer only */
    unsigned char* bytes;
    size_t length;
    char answer[1024]; /* as a single thread saw it */
};

static struct Input* inputs;
static size_t input_count;

static void Describe(const kindsniffer_result* result, char* out, size_t size)
{
    int written = 0;
    size_t i;
    if (!result) {
        snprintf(out, size, "no result");
        return;
    }
    written = snprintf(out, size, "%d|%s|%s|%d|%s", (int)kindsniffer_result_state(result),
                       kindsniffer_result_title(result), kindsniffer_result_mime_type(result),
                       kindsniffer_result_general(result), kindsniffer_result_basis(result));
    for (i = 0; i < kindsniffer_result_extension_count(result) && written > 0 && (size_t)written < size; ++i)
        written += snprintf(out + written, size - (size_t)written, "|%s", kindsniffer_result_extension(result, i));
}

static int Differs(const struct Input* input, kindsniffer_result* result)
{
    char answer[1024];
    Describe(result, answer, sizeof answer);
    kindsniffer_result_free(result);
    return strcmp(answer, input->answer) != 0;
}

static void* Run(void* unused)
{
    size_t round, i, wrong = 0;
    (void)unused;
    for (round = 0; round < kRounds; ++round) {
        for (i = 0; i < input_count; ++i) {
            const struct Input* input = &inputs[(i + round) % input_count];
            wrong += (size_t)Differs(input, kindsniffer_identify_buffer(input->set, input->bytes, input->length,
                                                                        KINDSNIFFER_EXPLAIN));
            if (input->path)
                wrong += (size_t)Differs(input, kindsniffer_identify_file(input->set, input->path, KINDSNIFFER_EXPLAIN));
        }
    }
    return (void*)wrong;
}

static unsigned char* ReadAll(const char* path, size_t* length)
{
    FILE* file = fopen(path, "rb");
    unsigned char* bytes;
    long size;
    if (!file || fseek(file, 0, SEEK_END) != 0 || (size = ftell(file)) < 0 || fseek(file, 0, SEEK_SET) != 0) {
        if (file)
            fclose(file);
        return NULL;
    }
    bytes = (unsigned char*)malloc((size_t)size + 1);
    if (bytes && fread(bytes, 1, (size_t)size, file) != (size_t)size) {
        free(bytes);
        bytes = NULL;
    }
    fclose(file);
    *length = (size_t)size;
    return bytes;
}

int main(int argc, char** argv)
{
    kindsniffer_error error;
    kindsniffer_set* set;
    kindsniffer_set* search_set;
    static const char search_xml[] = "<dat><types><type><title>Tail mark</title><ext>.tail</ext>"
                                      "<magic>?: 54 41 49 4C 4D 41 52 4B</magic></type></types></dat>";
    pthread_t threads[kThreads];
    size_t i, wrong = 0;
    int t;
    if (argc < 3) {
        fprintf(stderr, "usage: test_threads SET FILE...\n");
        return 2;
    }
    set = kindsniffer_set_open_file(argv[1], &error);
    if (!set) {
        fprintf(stderr, "test_threads: %s\n", error.message);
        return 1;
    }
    search_set = kindsniffer_set_open_memory(search_xml, sizeof search_xml - 1, &error);
    if (!search_set) {
        fprintf(stderr, "test_threads: %s\n", error.message);
        return 1;
    }
    input_count = (size_t)argc - 2 + 1;
    inputs = (struct Input*)calloc(input_count, sizeof *inputs);
    for (i = 0; i + 1 < input_count; ++i) {
        inputs[i].set = set;
        inputs[i].path = argv[i + 2];
        inputs[i].bytes = ReadAll(argv[i + 2], &inputs[i].length);
        if (!inputs[i].bytes) {
            fprintf(stderr, "test_threads: cannot read %s\n", argv[i + 2]);
            return 1;
        }
    }
    /* Zeros with the mark near the end: searched through, by two readers, before it is found. */
    inputs[i].set = search_set;
    inputs[i].length = kLarge;
    inputs[i].bytes = (unsigned char*)calloc(kLarge, 1);
    memcpy(inputs[i].bytes + kLarge - 100, "TAILMARK", 8);
    for (i = 0; i < input_count; ++i) {
        kindsniffer_result* result = kindsniffer_identify_buffer(inputs[i].set, inputs[i].bytes, inputs[i].length,
                                                                 KINDSNIFFER_EXPLAIN);
        Describe(result, inputs[i].answer, sizeof inputs[i].answer);
        kindsniffer_result_free(result);
    }
    if (strncmp(inputs[input_count - 1].answer, "1|Tail mark|", 12) != 0) {
        fprintf(stderr, "test_threads: the mark was not found: %s\n", inputs[input_count - 1].answer);
        return 1;
    }

    for (t = 0; t < kThreads; ++t) {
        if (pthread_create(&threads[t], NULL, Run, NULL) != 0) {
            fprintf(stderr, "test_threads: no thread %d\n", t);
            return 1;
        }
    }
    for (t = 0; t < kThreads; ++t) {
        void* count = NULL;
        pthread_join(threads[t], &count);
        wrong += (size_t)count;
    }
    for (i = 0; i < input_count; ++i)
        free(inputs[i].bytes);
    free(inputs);
    kindsniffer_set_free(set);
    kindsniffer_set_free(search_set);
    printf("%zu answers differed from a single thread's\n", wrong);
    return wrong ? 1 : 0;
}
