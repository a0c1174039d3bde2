/* A library planted where the programs must never load from (the current
 * folder): loading it runs its constructor, which leaves the mark file
 * "planted-library-ran" in the current folder. */
#include <fcntl.h>
#include <unistd.h>

__attribute__((constructor)) static void VLTestPlantedRan(void)
{
    int fd = open("planted-library-ran", O_WRONLY | O_CREAT, 0644);
    if (fd >= 0)
        close(fd);
}
