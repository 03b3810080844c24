/* MakeTree ROOT FILES: FILES empty files under ROOT, in folders of 1,000, with names of
   varying length like an installed program's, for the snapshot benchmark. Built with the
   host compiler: a shell loop takes too long for a million files. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static const char *const Words[] = {
    "Microsoft", "Windows", "Shell", "Common", "Resources", "Interop", "Runtime", "Core", "Data", "Service",
    "Host", "Update", "Setup", "UI", "x64", "en-US", "api", "ms", "win", "crt", "Framework", "Graphics",
    "Media", "Network", "Security", "Storage", "Text", "Xml", "Json", "Web", "Client", "Helper", "Plugin",
    "Locale", "Theme", "Icons", "Provider", "Diagnostics", "Telemetry", "Cache", "Driver", "Codec"};
static const char *const Extensions[] = {".dll", ".exe", ".mui", ".manifest", ".cat", ".xml", ".png",
                                         ".json", ".pdb", ".txt", ".sys", ".inf", ".js", ".pak", ".ico"};
static const char Separators[] = "._-";

static unsigned long long state = 88172645463325252ull;
static unsigned Next(unsigned bound)
{
    state ^= state << 13; /* xorshift: the same tree on every run */
    state ^= state >> 7;
    state ^= state << 17;
    return (unsigned)(state % bound);
}

/* One to four words, then the file's number (unique in its folder), then an extension. */
static void MakeName(char *name, size_t size, unsigned number)
{
    size_t length = 0;
    unsigned words = 1 + Next(4);
    for (unsigned i = 0; i < words; i++) {
        if (i > 0)
            name[length++] = Separators[Next(3)];
        length += (size_t)snprintf(name + length, size - length, "%s", Words[Next(sizeof Words / sizeof Words[0])]);
    }
    snprintf(name + length, size - length, "_%x%s", number, Extensions[Next(sizeof Extensions / sizeof Extensions[0])]);
}

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: MakeTree ROOT FILES\n");
        return 2;
    }
    long files = strtol(argv[2], NULL, 10);
    if (files <= 0 || files > 100000000) {
        fprintf(stderr, "MakeTree: FILES must be 1 to 100000000\n");
        return 2;
    }
    if (mkdir(argv[1], 0755) != 0 && errno != EEXIST) {
        perror(argv[1]);
        return 1;
    }
    int root = open(argv[1], O_RDONLY | O_DIRECTORY);
    if (root < 0) {
        perror(argv[1]);
        return 1;
    }
    char name[256];
    for (long made = 0, folder = 0; made < files; folder++) {
        char folderName[64];
        snprintf(folderName, sizeof folderName, "%s %s %04ld", Words[Next(sizeof Words / sizeof Words[0])],
                 Words[Next(sizeof Words / sizeof Words[0])], folder);
        if (mkdirat(root, folderName, 0755) != 0) {
            perror(folderName);
            return 1;
        }
        int dir = openat(root, folderName, O_RDONLY | O_DIRECTORY);
        if (dir < 0) {
            perror(folderName);
            return 1;
        }
        for (unsigned i = 0; i < 1000 && made < files; i++, made++) {
            MakeName(name, sizeof name, i);
            int file = openat(dir, name, O_WRONLY | O_CREAT | O_EXCL, 0644);
            if (file < 0) {
                perror(name);
                return 1;
            }
            close(file);
        }
        close(dir);
    }
    close(root);
    return 0;
}
