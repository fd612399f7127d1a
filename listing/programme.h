// The programme record and the process-wide list of records.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

struct ProgrammeBox {
    int32_t Left, Top, Right, Bottom;
};

// The detail link's query is at most 100 bytes behind the 19-byte marker.
constexpr size_t DetailPathSize = 19 + 100 + 1;

struct TELOMI {
    char Station[30];
    int32_t Month;
    int32_t Day;
    int32_t StartHour;
    int32_t StartMinute;
    int32_t EndHour;
    int32_t EndMinute;
    char Title[255];
    char Subtitle[255];
    char DateText[20];
    char StartText[6];
    char EndText[6];
    char Performers[1000];
    char Other[1000];
    ProgrammeBox Box;
    char DetailPath[DetailPathSize];
};

// Records live in fixed chunks that are never moved or freed while a
// retrieval runs, so the interface thread may read any record below
// ProgrammeCount while the worker appends: no lock on either side.
class ProgrammeStore {
public:
    static constexpr size_t ChunkSize = 256;
    static constexpr size_t ChunkCount = 256;
    static constexpr size_t Capacity = ChunkSize * ChunkCount;

    ProgrammeStore() = default;
    ProgrammeStore(const ProgrammeStore&) = delete;
    ProgrammeStore& operator=(const ProgrammeStore&) = delete;
    ~ProgrammeStore();

    // Only while no worker runs.
    void Clear();
    // An all-zero record at the end, or null when the store is full.
    TELOMI* Append();
    TELOMI& operator[](size_t i);
    const TELOMI& operator[](size_t i) const;
    size_t Size() const { return Length.load(std::memory_order_acquire); }
    bool Empty() const { return Size() == 0; }

private:
    std::atomic<TELOMI*> Chunks[ChunkCount] = {};
    std::atomic<size_t> Length{0};
};

// Appended to by the worker, emptied by the interface thread between retrievals.
extern ProgrammeStore ProgrammeList;
// Records below this count are complete: raised by the worker after each one,
// read by the interface thread, which never looks past it.
extern std::atomic<int32_t> ProgrammeCount;
