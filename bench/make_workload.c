/* Writes a benchmark workload into DIR: allpts.txt and sample.txt, N
   KDE-like values each in the value format SHAPE (the second file a
   perturbed copy of the first), and an empty testpts.txt.
     make_workload DIR N SHAPE
   SHAPE is a printf conversion for a double ("%.17g", "%.18e", ...), or
   "negative" (every value negated, "%.9g") or "wide" (magnitudes spread
   evenly over 1e-30 to 1e30, "%.9g").  The values are the same for every
   shape and every run: log-normal around 2.5e-3 with 5% noise. */
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static uint64_t state = 42;

/* A uniform draw in (0, 1) from a 64-bit xorshift generator. */
static double uniform(void)
{
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return ((double)(state >> 11) + 0.5) * 0x1p-53;
}

static double gaussian(void)
{
    return sqrt(-2.0 * log(uniform())) * cos(6.283185307179586 * uniform());
}

static FILE* create(const char* dir, const char* name)
{
    char path[4096];
    snprintf(path, sizeof path, "%s/%s", dir, name);
    FILE* file = fopen(path, "w");
    if (file == NULL) {
        perror(path);
        exit(1);
    }
    return file;
}

int main(int argc, char** argv)
{
    if (argc < 4) {
        fprintf(stderr, "Usage: %s DIR N SHAPE\n", argv[0]);
        return 1;
    }
    const long n = atol(argv[2]);
    const char* shape = argv[3];
    const int negative = strcmp(shape, "negative") == 0;
    const int wide = strcmp(shape, "wide") == 0;
    const char* format = negative || wide ? "%.9g\n" : NULL;
    char line[64];
    if (format == NULL) {
        snprintf(line, sizeof line, "%s\n", shape);
        format = line;
    }
    FILE* allpts = create(argv[1], "allpts.txt");
    FILE* sample = create(argv[1], "sample.txt");
    fclose(create(argv[1], "testpts.txt"));
    for (long i = 0; i < n; ++i) {
        double x = exp(-6.0 + 1.5 * gaussian());
        if (wide)
            x = pow(10.0, -30.0 + 60.0 * uniform());
        double y = x * (1.0 + 0.05 * gaussian());
        if (negative) {
            x = -x;
            y = -y;
        }
        fprintf(allpts, format, x);
        fprintf(sample, format, y);
    }
    if (fclose(allpts) != 0 || fclose(sample) != 0) {
        perror("write");
        return 1;
    }
    return 0;
}
