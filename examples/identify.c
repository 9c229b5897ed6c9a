/* Names the files given, and bytes held in memory, with libkindsniffer:
 *   cc identify.c $(pkg-config --cflags --libs kindsniffer) -o identify && ./identify FILE... */
#include <kindsniffer.h>
#include <stdio.h>

static void show(const char* name, const kindsniffer_result* result)
{
    switch (kindsniffer_result_state(result)) {
    case KINDSNIFFER_DETECTED:
        printf("%s: %s [%s] %s%s\n", name, kindsniffer_result_title(result),
               kindsniffer_result_extension_count(result) ? kindsniffer_result_extension(result, 0) : "",
               kindsniffer_result_mime_type(result),
               kindsniffer_result_general(result) ? " (a family of formats: keep its name)" : "");
        break;
    case KINDSNIFFER_UNDETERMINED:
        printf("%s: unknown\n", name);
        break;
    case KINDSNIFFER_UNREADABLE:
        printf("%s: cannot read: %s\n", name, kindsniffer_result_error_message(result));
        break;
    }
}

int main(int argc, char** argv)
{
    static const unsigned char upload[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    kindsniffer_error error;
    kindsniffer_result* result;
    kindsniffer_set* set = kindsniffer_set_open_shipped(&error); /* once: any number of threads may share it */
    if (!set) {
        fprintf(stderr, "identify: %s\n", error.message);
        return 1;
    }
    for (int i = 1; i < argc; ++i) {
        if ((result = kindsniffer_identify_file(set, argv[i], 0)))
            show(argv[i], result);
        kindsniffer_result_free(result);
    }
    if ((result = kindsniffer_identify_buffer(set, upload, sizeof upload, 0))) /* an upload needs no file */
        show("upload", result);
    kindsniffer_result_free(result);
    kindsniffer_set_free(set);
    return 0;
}
