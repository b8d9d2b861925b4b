/* The plain C pass the tools are measured against: fscanf "%f" in lockstep,
   float arithmetic in pair order, printf "%f\n".  Argument 6 picks the
   measure: mean, rms or peak. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv)
{
    if (argc < 7) {
        printf("Usage: %s kde_from_allpts kde_from_sample test_points_file n d mean|rms|peak\n", argv[0]);
        return 1;
    }
    FILE* first = fopen(argv[1], "r");
    FILE* second = fopen(argv[2], "r");
    if (first == NULL || second == NULL)
        return 1;
    int n = atoi(argv[4]);
    const char* measure = argv[6];
    float a = 0.0f, b = 0.0f, sum = 0.0f;
    for (int i = 0; i < n; i++) {
        fscanf(first, "%f", &a);
        fscanf(second, "%f", &b);
        float e = fabsf(a - b);
        if (measure[0] == 'm' && measure[1] == 'e')
            sum = sum + e;
        else if (measure[0] == 'r')
            sum = sum + e * e;
        else if (e > sum)
            sum = e;
    }
    float result = sum;
    if (measure[0] == 'm' && measure[1] == 'e')
        result = sum / (float)n;
    else if (measure[0] == 'r')
        result = sqrtf(sum / (float)n);
    printf("%f\n", result);
    fclose(first);
    fclose(second);
    return 0;
}
