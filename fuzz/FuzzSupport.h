#pragma once
// What every fuzz target shares: the Qt application the code under test
// expects, a scratch folder for the input files, and the choice of a file
// name extension by the input's first byte (the readers choose their parser
// by extension, so the fuzzer explores each of them).

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>

namespace tolvan::fuzz {

// Creates the application once (offscreen, null audio output) and the
// process's scratch folder. Call from LLVMFuzzerInitialize.
void initialize(int* argc, char*** argv);

// The scratch folder, emptied of the previous input's files.
QString freshFolder();

// Writes bytes to name inside the scratch folder and answers the path.
QString writeFile(const QString& name, const QByteArray& bytes);

// The input as a file whose extension is chosen by its first byte from
// extensions (".mp3" and the like); the rest of the input is the file.
struct ExtensionInput {
    QString extension;
    QByteArray bytes;
};
ExtensionInput splitExtension(const uint8_t* data, std::size_t size, std::initializer_list<const char*> extensions);

// The audio file extensions the application opens.
inline constexpr std::initializer_list<const char*> kAudioExtensions = {
    ".mp3", ".m4a", ".m4r", ".m4v", ".mp4", ".3gp", ".wav", ".aif", ".flac", ".ogg", ".caf", ".aac"};

// Runs the main event loop until done() holds. A hang is the fuzzer's to
// report (its -timeout), so there is no deadline here.
void processEventsUntil(const std::function<bool()>& done);

// Wakes processEventsUntil at once; callable from any thread, for code
// under test that reports its end through a handler rather than an event.
void wakeMainLoop();

// Delivers what the code under test left posted to the main thread (results
// handed back, objects deleted later), so an input frees what it made before
// it returns: libFuzzer takes an input that ends with more allocations than
// frees for a possible leak and scans the whole heap for it.
void settle();

// Ends the process with a report the fuzzer records when a property of the
// code under test does not hold.
[[noreturn]] void fail(const char* what);

}  // namespace tolvan::fuzz
