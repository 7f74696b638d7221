// Hashes one file through ComputeFileFingerprint several rounds and prints
// the throughput of each round and the median.
//   bench_fingerprint FILE [ROUNDS]
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <vector>
#include "core/file_fingerprint.h"

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv)
        return 2;
    if (argc < 2) {
        fprintf(stderr, "usage: bench_fingerprint FILE [ROUNDS]\n");
        return 2;
    }
    int rounds = argc > 2 ? _wtoi(argv[2]) : 5;
    if (rounds < 1)
        rounds = 1;

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);

    // One untimed pass brings the file into the cache.
    FileFingerprint fingerprint;
    ComputeFileFingerprint(argv[1], &fingerprint);
    if (!fingerprint.valid) {
        fprintf(stderr, "cannot read %ls\n", argv[1]);
        return 1;
    }

    std::vector<double> rates;
    for (int round = 0; round < rounds; ++round) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        ComputeFileFingerprint(argv[1], &fingerprint);
        QueryPerformanceCounter(&end);
        double seconds = (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart;
        double rate = (double)fingerprint.size / seconds / 1e6;
        rates.push_back(rate);
        printf("round %d: %.3f s %.1f MB/s\n", round + 1, seconds, rate);
    }
    std::sort(rates.begin(), rates.end());
    double median = rates.size() % 2 ? rates[rates.size() / 2]
                                     : (rates[rates.size() / 2 - 1] + rates[rates.size() / 2]) / 2;
    printf("digest %ls size %llu\n", fingerprint.digestHex, fingerprint.size);
    printf("median %.1f MB/s\n", median);
    return 0;
}
