#pragma once
// gzip compression of one open file into another: the usage-event logs are
// packaged with it. Answers 0 on success and -1 on any read, deflate or
// write failure; the caller owns both streams.

#include <cstdio>

int BRSGzipCompressFile(std::FILE* input, std::FILE* output);
