// Start-to-exit time of programs: fork, exec, wait, over and over, the
// programs taking turns so that a slow moment of the machine falls on all of
// them alike. Standard output of every start goes to /dev/null.
//
//   starts COUNT ROUNDS -- PROGRAM [ARG...] [-- PROGRAM [ARG...]]...
//
// Runs each program COUNT times in all, in ROUNDS rounds, and prints one line
// per program: the median over the rounds of the mean milliseconds per start.
// Fails when a start exits other than with status 0.
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

enum { kMaxPrograms = 16 };

static double Now(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}

static int CompareDoubles(const void* a, const void* b) {
    const double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

int main(int argc, char** argv) {
    if (argc < 5 || strcmp(argv[3], "--") != 0) {
        fputs("usage: starts COUNT ROUNDS -- PROGRAM [ARG...] [-- PROGRAM [ARG...]]...\n", stderr);
        return 1;
    }
    const long count = strtol(argv[1], NULL, 10);
    const long rounds = strtol(argv[2], NULL, 10);
    if (count < 1 || rounds < 1 || rounds > count) {
        fputs("starts: COUNT and ROUNDS must be positive, ROUNDS at most COUNT\n", stderr);
        return 1;
    }
    char** programs[kMaxPrograms];
    int programCount = 0;
    for (int i = 3; i < argc; ++i) {
        if (strcmp(argv[i], "--") == 0) {
            argv[i] = NULL;  // ends the previous program's arguments
            if (i + 1 < argc && programCount < kMaxPrograms)
                programs[programCount++] = &argv[i + 1];
        }
    }
    const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (devNull < 0) {
        perror("/dev/null");
        return 1;
    }
    double* means = calloc((size_t)(programCount * rounds), sizeof(double));
    if (means == NULL)
        return 1;
    const long perRound = count / rounds;
    for (long round = 0; round < rounds; ++round) {
        for (long start = 0; start < perRound; ++start) {
            for (int p = 0; p < programCount; ++p) {
                const double before = Now();
                const pid_t child = fork();
                if (child == 0) {
                    dup2(devNull, STDOUT_FILENO);
                    execv(programs[p][0], programs[p]);
                    _exit(127);
                }
                int status = 0;
                if (child < 0 || waitpid(child, &status, 0) != child) {
                    perror("starts");
                    return 1;
                }
                means[p * rounds + round] += Now() - before;
                if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                    fprintf(stderr, "starts: %s ended with status %d\n", programs[p][0], status);
                    return 1;
                }
            }
        }
    }
    for (int p = 0; p < programCount; ++p) {
        double* mine = means + p * rounds;
        for (long round = 0; round < rounds; ++round)
            mine[round] = mine[round] * 1000.0 / (double)perRound;
        qsort(mine, (size_t)rounds, sizeof(double), CompareDoubles);
        const double median =
            rounds % 2 ? mine[rounds / 2] : (mine[rounds / 2 - 1] + mine[rounds / 2]) / 2.0;
        printf("%.4f\n", median);
    }
    return 0;
}
