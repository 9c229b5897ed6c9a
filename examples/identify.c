/* Names the files given, and a buffer held in memory, with libkindsniffer.
 *
 *   cc identify.c $(pkg-config --cflags --libs kindsniffer) -o identify
 *   ./identify report.doc photo.txt
 */
#include <kindsniffer.h>

#include <stdio.h>

static void Show(const char* name, const kindsniffer_result* result)
{
    switch (kindsniffer_result_state(result)) {
    case KINDSNIFFER_DETECTED: {
        const char* extension = kindsniffer_result_extension_count(result) ? kindsniffer_result_extension(result, 0) : "";
        const char* mime = kindsniffer_result_mime_type(result);
        printf("%s: %s [%s] %s%s\n", name, kindsniffer_result_title(result), extension, *mime ? mime : "-",
               /* A family such as "ZIP archive": no reason to rename the file. */
               kindsniffer_result_general(result) ? " (general)" : "");
        break;
    }
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
    int i;
    /* Open the set once; any number of threads may then share it. */
    kindsniffer_set* set = kindsniffer_set_open_shipped(&error);
    if (!set) {
        fprintf(stderr, "identify: %s\n", error.message);
        return 1;
    }
    for (i = 1; i < argc; ++i) {
        result = kindsniffer_identify_file(set, argv[i], 0);
        if (result)
            Show(argv[i], result);
        kindsniffer_result_free(result);
    }
    /* Bytes in memory, such as an upload, need no file. */
    result = kindsniffer_identify_buffer(set, upload, sizeof upload, 0);
    if (result)
        Show("upload", result);
    kindsniffer_result_free(result);
    kindsniffer_set_free(set);
    return 0;
}
