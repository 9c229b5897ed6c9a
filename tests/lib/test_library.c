/* The C interface as a C program sees it, compiled as C.
 *
 *   test_library SET               the cases below, against the shipped set SET
 *   test_library SET --answers     reads paths from standard input, one a line, and prints each file's
 *                                  answer as a JSON line, as the console program's --json does; each
 *                                  file is identified by path and as a buffer, and the two must agree
 *
 * Exits 0 when every check holds. */
#include "kindsniffer.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int failures = 0;

#define CHECK(condition, what)                                                              \
    do {                                                                                    \
        if (!(condition)) {                                                                 \
            fprintf(stderr, "%s:%d: %s: check failed: %s\n", __FILE__, __LINE__, what, #condition); \
            ++failures;                                                                     \
        }                                                                                   \
    } while (0)

#ifdef _WIN32
#include <windows.h>
/* The paths handed over are UTF-8, as the library takes them; fopen would read them in the ANSI code page. */
static FILE* OpenUtf8(const char* path)
{
    wchar_t wide[4096];
    if (!MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide, 4096))
        return NULL;
    return _wfopen(wide, L"rb");
}
#else
static FILE* OpenUtf8(const char* path)
{
    return fopen(path, "rb");
}
#endif

/* A whole file in memory; null when it cannot be read. */
static unsigned char* ReadAll(const char* path, size_t* length)
{
    FILE* file = OpenUtf8(path);
    unsigned char* bytes = NULL;
    size_t size = 0, capacity = 0;
    if (!file)
        return NULL;
    for (;;) {
        if (size == capacity) {
            unsigned char* grown;
            capacity = capacity ? capacity * 2 : 65536;
            grown = (unsigned char*)realloc(bytes, capacity);
            if (!grown) {
                free(bytes);
                fclose(file);
                return NULL;
            }
            bytes = grown;
        }
        {
            const size_t got = fread(bytes + size, 1, capacity - size, file);
            size += got;
            if (got == 0)
                break;
        }
    }
    if (ferror(file)) {
        free(bytes);
        bytes = NULL;
    }
    fclose(file);
    *length = size;
    return bytes;
}

static const char* StateName(kindsniffer_state state)
{
    switch (state) {
    case KINDSNIFFER_DETECTED: return "detected";
    case KINDSNIFFER_UNREADABLE: return "unreadable";
    case KINDSNIFFER_UNDETERMINED: return "undetermined";
    }
    return "?";
}

static void PrintJsonString(const char* text)
{
    putchar('"');
    for (; *text; ++text) {
        const unsigned char c = (unsigned char)*text;
        if (c == '"' || c == '\\')
            printf("\\%c", c);
        else if (c < 0x20)
            printf("\\u%04x", c);
        else
            putchar(c);
    }
    putchar('"');
}

/* Whether two results tell the same: state, title, extensions, MIME type, general and basis. */
static int SameAnswer(const kindsniffer_result* a, const kindsniffer_result* b)
{
    size_t i;
    if (kindsniffer_result_state(a) != kindsniffer_result_state(b)
        || strcmp(kindsniffer_result_title(a), kindsniffer_result_title(b)) != 0
        || strcmp(kindsniffer_result_mime_type(a), kindsniffer_result_mime_type(b)) != 0
        || kindsniffer_result_general(a) != kindsniffer_result_general(b)
        || strcmp(kindsniffer_result_basis(a), kindsniffer_result_basis(b)) != 0
        || kindsniffer_result_extension_count(a) != kindsniffer_result_extension_count(b))
        return 0;
    for (i = 0; i < kindsniffer_result_extension_count(a); ++i) {
        if (strcmp(kindsniffer_result_extension(a, i), kindsniffer_result_extension(b, i)) != 0)
            return 0;
    }
    return 1;
}

/* Each path read from standard input: its answer as one JSON line. */
static void PrintAnswers(const kindsniffer_set* set)
{
    char line[4096];
    while (fgets(line, sizeof line, stdin)) {
        kindsniffer_result* by_path;
        size_t i, length = strcspn(line, "\r\n");
        line[length] = '\0';
        if (length == 0)
            continue;
        by_path = kindsniffer_identify_file(set, line, KINDSNIFFER_EXPLAIN);
        CHECK(by_path != NULL, line);
        if (!by_path)
            continue;
        if (kindsniffer_result_state(by_path) != KINDSNIFFER_UNREADABLE) {
            size_t size = 0;
            unsigned char* bytes = ReadAll(line, &size);
            kindsniffer_result* by_bytes = kindsniffer_identify_buffer(set, bytes, size, KINDSNIFFER_EXPLAIN);
            CHECK(bytes != NULL || size == 0, line);
            CHECK(by_bytes && SameAnswer(by_path, by_bytes), line);
            /* Cut short, the bytes still give an answer, never an unreadable one. */
            if (bytes && size > 1) {
                kindsniffer_result* half = kindsniffer_identify_buffer(set, bytes, size / 2, 0);
                CHECK(half && kindsniffer_result_state(half) != KINDSNIFFER_UNREADABLE, line);
                kindsniffer_result_free(half);
            }
            kindsniffer_result_free(by_bytes);
            free(bytes);
        }
        printf("{\"path\": ");
        PrintJsonString(line);
        printf(", \"state\": \"%s\", \"title\": ", StateName(kindsniffer_result_state(by_path)));
        PrintJsonString(kindsniffer_result_title(by_path));
        printf(", \"extensions\": [");
        for (i = 0; i < kindsniffer_result_extension_count(by_path); ++i) {
            printf(i ? ", " : "");
            PrintJsonString(kindsniffer_result_extension(by_path, i));
        }
        printf("], \"mime\": ");
        PrintJsonString(kindsniffer_result_mime_type(by_path));
        printf(", \"general\": %s}\n", kindsniffer_result_general(by_path) ? "true" : "false");
        kindsniffer_result_free(by_path);
    }
}

/* A set in memory that is refused, and why. */
struct RefusedSet {
    const char* xml;
    kindsniffer_error_code code;
    unsigned line;
};

static const struct RefusedSet refused_sets[] = {
    {"", KINDSNIFFER_ERROR_XML, 0},
    /* the parser names the line of the element it was reading */
    {"<dat>\n<types>\n<type><magic>00</magic>\n</dat>\n", KINDSNIFFER_ERROR_XML, 3},
    {"<dat>\n<types>\n<type>\n<title a=>x</title></type>\n</types></dat>", KINDSNIFFER_ERROR_XML, 4},
    {"<?xml version=\"1.0\"?>\n<dat></dat>\n", KINDSNIFFER_ERROR_NO_TYPES, 0},
    {"<other><types/></other>", KINDSNIFFER_ERROR_NO_TYPES, 0},
};

/* A small set with a fixed pattern, a search, a ZIP member and a compound-file entry. */
static const char small_set[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<dat><types>\n"
    "<type><title>PNG image</title><ext>.png</ext><mime>image/png</mime><magic>89 50 4E 47 0D 0A 1A 0A</magic></type>\n"
    "<type><title>Word document</title><ext>.docx</ext><magic>zip word/document.xml</magic></type>\n"
    "<type><title>ZIP archive</title><ext>.zip</ext><general/><mime>application/zip</mime>"
    "<magic>50 4B 03 04</magic></type>\n"
    "<type><title>Old Word document</title><ext>.doc</ext><ext>.dot</ext><magic>ole WordDocument</magic></type>\n"
    "<type><title>Compound file</title><general/><magic>D0 CF 11 E0 A1 B1 1A E1</magic></type>\n"
    "<type><title>Caf\xC3\xA9 note</title><ext>.cafe</ext><magic>?: 43 41 46 45 5F 4E 4F 54 45</magic></type>\n"
    "<type><title>No patterns</title><ext>.none</ext></type>\n"
    "</types></dat>\n";

/* A buffer and the answer it must get from the small set. */
struct BufferCase {
    const char* name;
    const char* bytes;
    size_t length;
    kindsniffer_state state;
    const char* title;
    const char* first_extension; /* or null: none */
    const char* mime;
    int general;
};

static const struct BufferCase buffer_cases[] = {
    {"empty", "", 0, KINDSNIFFER_UNDETERMINED, "", NULL, "", 0},
    {"one byte", "\x89", 1, KINDSNIFFER_UNDETERMINED, "", NULL, "", 0},
    {"PNG header", "\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16, KINDSNIFFER_DETECTED, "PNG image", ".png", "image/png", 0},
    {"PNG cut short", "\x89PNG\r\n\x1a", 7, KINDSNIFFER_UNDETERMINED, "", NULL, "", 0},
    /* a local header cut inside its name: no directory to find a member in */
    {"truncated ZIP", "PK\x03\x04\x14\0\0\0\x08\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x13\0\0\0word/doc", 38,
     KINDSNIFFER_DETECTED, "ZIP archive", ".zip", "application/zip", 1},
    /* a compound-file header with no sectors after it */
    {"truncated compound file", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x3E\0\x03\0\xFE\xFF\x09\0",
     32, KINDSNIFFER_DETECTED, "Compound file", NULL, "", 1},
    {"search hit", "xxxxxxxx CAFE_NOTE", 18, KINDSNIFFER_DETECTED, "Caf\xC3\xA9 note", ".cafe", "", 0},
    {"search cut short", "xxxxxxxx CAFE_NOT", 17, KINDSNIFFER_UNDETERMINED, "", NULL, "", 0},
};

static void CheckBuffers(void)
{
    kindsniffer_error error;
    kindsniffer_set* set = kindsniffer_set_open_memory(small_set, sizeof small_set - 1, &error);
    size_t i;
    CHECK(set != NULL && error.code == KINDSNIFFER_OK && error.message[0] == '\0', error.message);
    if (!set)
        return;
    CHECK(kindsniffer_set_type_count(set) == 6, "a type without patterns is not carried");
    for (i = 0; i < sizeof buffer_cases / sizeof buffer_cases[0]; ++i) {
        const struct BufferCase* c = &buffer_cases[i];
        kindsniffer_result* result = kindsniffer_identify_buffer(set, c->bytes, c->length, KINDSNIFFER_EXPLAIN);
        CHECK(result != NULL, c->name);
        if (!result)
            continue;
        CHECK(kindsniffer_result_state(result) == c->state, c->name);
        CHECK(strcmp(kindsniffer_result_title(result), c->title) == 0, c->name);
        CHECK(strcmp(kindsniffer_result_mime_type(result), c->mime) == 0, c->name);
        CHECK(kindsniffer_result_general(result) == c->general, c->name);
        CHECK(c->first_extension ? kindsniffer_result_extension_count(result) >= 1
                                       && strcmp(kindsniffer_result_extension(result, 0), c->first_extension) == 0
                                 : kindsniffer_result_extension_count(result) == 0,
              c->name);
        CHECK(kindsniffer_result_extension(result, kindsniffer_result_extension_count(result)) == NULL, c->name);
        CHECK(kindsniffer_result_system_error(result) == 0 && kindsniffer_result_error_message(result)[0] == '\0',
              c->name);
        /* The basis names the type's line when detected, and how many types were tried when not. */
        CHECK(strstr(kindsniffer_result_basis(result), c->state == KINDSNIFFER_DETECTED ? "type at line " : "tried")
                  != NULL,
              c->name);
        kindsniffer_result_free(result);
    }
    {
        /* Without KINDSNIFFER_EXPLAIN no basis is kept; a null buffer of no bytes is an empty file. */
        kindsniffer_result* plain = kindsniffer_identify_buffer(set, buffer_cases[2].bytes, buffer_cases[2].length, 0);
        kindsniffer_result* none = kindsniffer_identify_buffer(set, NULL, 0, 0);
        CHECK(plain && kindsniffer_result_basis(plain)[0] == '\0', "no basis unless asked");
        CHECK(none && kindsniffer_result_state(none) == KINDSNIFFER_UNDETERMINED, "null and empty");
        CHECK(kindsniffer_identify_buffer(set, NULL, 1, 0) == NULL, "null with a length");
        CHECK(kindsniffer_identify_buffer(NULL, "x", 1, 0) == NULL, "no set");
        CHECK(kindsniffer_identify_file(set, NULL, 0) == NULL, "no path");
        kindsniffer_result_free(plain);
        kindsniffer_result_free(none);
    }
    kindsniffer_set_free(set);
}

static void CheckRefusedSets(const char* folder)
{
    size_t i;
    kindsniffer_error error;
    for (i = 0; i < sizeof refused_sets / sizeof refused_sets[0]; ++i) {
        const struct RefusedSet* c = &refused_sets[i];
        kindsniffer_set* set = kindsniffer_set_open_memory(c->xml, strlen(c->xml), &error);
        CHECK(set == NULL, c->xml);
        CHECK(error.code == (int32_t)c->code, c->xml);
        CHECK(error.line == c->line && error.message[0] != '\0', c->xml);
        kindsniffer_set_free(set);
    }
    /* Refused for what the file is, with the system's code where it has one. */
    CHECK(kindsniffer_set_open_file(folder, &error) == NULL && error.code == KINDSNIFFER_ERROR_NOT_A_FILE,
          "a folder");
    CHECK(kindsniffer_set_open_file("no-such-folder/Kindsniffer.xml", &error) == NULL
              && error.code == KINDSNIFFER_ERROR_READ && error.system_error != 0 && error.message[0] != '\0',
          "a missing file");
    CHECK(kindsniffer_set_open_file(NULL, &error) == NULL && error.code == KINDSNIFFER_ERROR_ARGUMENT, "no path");
    CHECK(kindsniffer_set_open_memory(NULL, 1, &error) == NULL && error.code == KINDSNIFFER_ERROR_ARGUMENT,
          "no bytes");
    CHECK(kindsniffer_set_open_memory("<dat", 4, NULL) == NULL, "no error struct");
}

static void CheckShippedSet(const char* path, const char* folder)
{
    kindsniffer_error error;
    kindsniffer_set* from_file = kindsniffer_set_open_file(path, &error);
    size_t length = 0;
    unsigned char* bytes = ReadAll(path, &length);
    kindsniffer_set* from_memory = bytes ? kindsniffer_set_open_memory(bytes, length, &error) : NULL;
    kindsniffer_set* shipped = kindsniffer_set_open_shipped(&error);
    kindsniffer_result* missing;
    CHECK(from_file != NULL, error.message);
    CHECK(from_memory != NULL, error.message);
    CHECK(shipped != NULL, error.message);
    free(bytes);  /* the set keeps no pointer to them */
    CHECK(kindsniffer_set_type_count(from_file) > 1000, "the shipped set's types");
    CHECK(kindsniffer_set_type_count(from_file) == kindsniffer_set_type_count(from_memory), "file and memory");
    CHECK(kindsniffer_set_type_count(from_file) == kindsniffer_set_type_count(shipped), "file and shipped");

    /* What cannot be read says why, in the system's words. */
    missing = kindsniffer_identify_file(from_memory, "no-such-file.bin", 0);
    CHECK(missing && kindsniffer_result_state(missing) == KINDSNIFFER_UNREADABLE, "missing file");
    CHECK(missing && kindsniffer_result_system_error(missing) != 0 && kindsniffer_result_error_message(missing)[0],
          "missing file's reason");
    CHECK(missing && kindsniffer_result_title(missing)[0] == '\0' && kindsniffer_result_extension_count(missing) == 0,
          "missing file's answer");
    kindsniffer_result_free(missing);
    missing = kindsniffer_identify_file(from_memory, folder, 0);
    CHECK(missing && kindsniffer_result_state(missing) == KINDSNIFFER_UNREADABLE, "a folder");
    kindsniffer_result_free(missing);

    kindsniffer_set_free(from_file);
    kindsniffer_set_free(from_memory);
    kindsniffer_set_free(shipped);
    kindsniffer_set_free(NULL);
    kindsniffer_result_free(NULL);
}

int main(int argc, char** argv)
{
    kindsniffer_error error;
    kindsniffer_set* set;
    if (argc < 3) {
        fprintf(stderr, "usage: test_library SET FOLDER | test_library SET --answers\n");
        return 2;
    }
    if (strcmp(argv[2], "--answers") == 0) {
        set = kindsniffer_set_open_file(argv[1], &error);
        if (!set) {
            fprintf(stderr, "test_library: %s\n", error.message);
            return 1;
        }
        PrintAnswers(set);
        kindsniffer_set_free(set);
        return failures ? 1 : 0;
    }
    CHECK(kindsniffer_api_version() == KINDSNIFFER_API_VERSION, "interface version");
    CHECK(strcmp(kindsniffer_version(), KINDSNIFFER_TEST_VERSION) == 0, "release");
    CheckBuffers();
    CheckRefusedSets(argv[2]);
    CheckShippedSet(argv[1], argv[2]);
    printf("%d failed\n", failures);
    return failures ? 1 : 0;
}
