// Output naming and crash-safe writing: unguessable temporary names, exclusive creation, clean-up.
#include "coordinator/OutputFiles.h"

#include <atomic>
#include <cstring>
#include <memory>

namespace Engine {

namespace {

size_t LastSeparator(const std::string& Path, bool BackslashSeparates) {
  size_t At = Path.rfind('/');
  if (BackslashSeparates) {
    const size_t Back = Path.rfind('\\');
    if (Back != std::string::npos && (At == std::string::npos || Back > At)) At = Back;
    // "d:name" is "name" in the current folder of drive d.
    if (At == std::string::npos && Path.size() >= 2 && Path[1] == ':') At = 1;
  }
  return At;
}

}  // namespace

bool SplitOutputBase(const std::string& OutputBase, OutputPlace& Place, bool BackslashSeparates) {
  const size_t At = LastSeparator(OutputBase, BackslashSeparates);
  Place.Folder = At == std::string::npos ? std::string() : OutputBase.substr(0, At + 1);
  Place.Name = At == std::string::npos ? OutputBase : OutputBase.substr(At + 1);
  return !Place.Name.empty() && Place.Name != "." && Place.Name != "..";
}

std::string HtmlPath(const OutputPlace& Place) { return Place.Folder + Place.Name + ".html"; }

std::string PageFileName(const OutputPlace& Place, int Page) { return Place.Name + "-" + std::to_string(Page) + ".svg"; }

std::string PagePath(const OutputPlace& Place, int Page) { return Place.Folder + PageFileName(Place, Page); }

std::string TempPath(const std::string& Final, uint64_t Random) {
  static const char Hex[] = "0123456789abcdef";
  std::string Out = Final + ".part";
  for (int Shift = 44; Shift >= 0; Shift -= 4) Out += Hex[(Random >> Shift) & 15];
  return Out;
}

bool CreateTemporary(const std::string& Final, size_t Slot, Platform::OutputFile& File, std::string& TempName,
                     std::string& Reason, uint64_t (*Random)()) {
  // Each name is new and random; something found at one was put there by someone else.
  constexpr int Tries = 16;
  for (int Try = 0; Try < Tries; ++Try) {
    TempName = TempPath(Final, Random());
    // On record before it exists, so that no moment leaves it behind if the process is ended.
    TempRegistry::Set(Slot, TempName);
    const Platform::CreateStatus Status = File.CreateNew(TempName, Reason);
    if (Status == Platform::CreateStatus::Created) return true;
    TempRegistry::Set(Slot, std::string());
    if (Status == Platform::CreateStatus::Failed) return false;
  }
  Reason = "every temporary name tried was taken";
  return false;
}

namespace {

// Read by the termination handler, so it holds plain C strings behind atomic pointers: a name is
// complete before the handler can see it, and taken away before it is freed. Slots come in
// chunks made as pages are reached, so that a document claiming millions of pages costs nothing
// until its pages are converted; the scans stop after the last chunk made, so that neither they
// nor the clean-up at exit touch the whole table.
constexpr size_t ChunkSlots = 1024;
constexpr size_t MostChunks = 16384;
struct Registry {
  std::atomic<std::atomic<char*>*> Chunks[MostChunks] = {};
  // One past the last chunk made; set after the chunk, before any name goes into it.
  std::atomic<size_t> ChunksMade{0};
  ~Registry() { Drop(); }
  void Drop() {
    const size_t Made = ChunksMade.load();
    for (size_t C = 0; C < Made; ++C) {
      std::atomic<char*>* Slots = Chunks[C].exchange(nullptr);
      if (Slots == nullptr) continue;
      for (size_t I = 0; I < ChunkSlots; ++I) delete[] Slots[I].exchange(nullptr);
      delete[] Slots;
    }
  }
  std::atomic<char*>* Slot(size_t Index, bool Make) {
    const size_t C = Index / ChunkSlots;
    if (C >= MostChunks) return nullptr;
    std::atomic<std::atomic<char*>*>& Chunk = Chunks[C];
    if (Chunk.load() == nullptr && Make) {
      auto* Slots = new std::atomic<char*>[ChunkSlots];
      for (size_t I = 0; I < ChunkSlots; ++I) Slots[I] = nullptr;
      Chunk = Slots;
      size_t Made = ChunksMade.load();
      while (Made <= C && !ChunksMade.compare_exchange_weak(Made, C + 1)) {
      }
    }
    std::atomic<char*>* Slots = Chunk.load();
    return Slots != nullptr ? &Slots[Index % ChunkSlots] : nullptr;
  }
};
Registry Recorded;
std::atomic<bool> Tracking{false};

void RemoveRecorded() {
  if (!Tracking.load()) return;
  const size_t Made = Recorded.ChunksMade.load();
  for (size_t C = 0; C < Made; ++C) {
    const std::atomic<char*>* Slots = Recorded.Chunks[C].load();
    if (Slots == nullptr) continue;
    for (size_t I = 0; I < ChunkSlots; ++I) {
      const char* Name = Slots[I].load();
      if (Name != nullptr) Platform::RemoveFile(Name);
    }
  }
}

}  // namespace

void TempRegistry::Start() {
  Tracking = false;
  Recorded.Drop();
  Tracking = true;
  Platform::OnTermination(RemoveRecorded);
}

void TempRegistry::Set(size_t Slot, const std::string& Name) {
  std::atomic<char*>* Place = Recorded.Slot(Slot, !Name.empty());
  if (Place == nullptr) return;
  char* Copy = nullptr;
  if (!Name.empty()) {
    Copy = new char[Name.size() + 1];
    std::memcpy(Copy, Name.c_str(), Name.size() + 1);
  }
  delete[] Place->exchange(Copy);
}

std::string TempRegistry::Get(size_t Slot) {
  const std::atomic<char*>* Place = Recorded.Slot(Slot, false);
  const char* Name = Place != nullptr ? Place->load() : nullptr;
  return Name != nullptr ? Name : std::string();
}

void TempRegistry::RemoveAll() { RemoveRecorded(); }

void TempRegistry::Clear() { Tracking = false; }

}  // namespace Engine
