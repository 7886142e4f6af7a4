#pragma once
// gzip compression of one open file into another, the kit's only one: the
// usage-event logs and the crash-report packages' files are compressed with
// it. Answers 0 on success and -1 on any read, deflate or write failure; the
// caller owns both streams.

#include <cstdio>

int BRSGzipCompressFile(std::FILE* input, std::FILE* output);
