// The hot paths of a conversion one at a time, through the functions the
// headers declare: item and string reads, the entity reader and writer, the
// Shift-JIS text helpers. Figures are per item or per byte, so a change
// shows where the whole-drawing figures of bench/run cannot say why.
//   marrowfold-micro [--benchmark_filter=REGEX] [--benchmark_min_time=0.5s]
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "jww/jwwio.h"
#include "jww/jwwunit.h"
#include "testing/jwwfixture.h"
#include "testing/testutil.h"
#include "text/sjis.h"

namespace {

constexpr int kItems = 1 << 16;

// Reads every item of `bytes` with `read` once per iteration.
template <typename Read>
void ReadAll(benchmark::State& state, const std::vector<std::uint8_t>& bytes, int items,
             Read read) {
  testutil::MemoryFile file(bytes);
  for (auto _ : state) {
    file.position = 0;
    JwwReader r(file);
    for (int i = 0; i < items; ++i) read(r);
  }
  state.SetItemsProcessed(state.iterations() * items);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}

void ReadDword(benchmark::State& state) {
  ByteSink s;
  for (int i = 0; i < kItems; ++i) s.Dword(i);
  ReadAll(state, s.bytes, kItems, [](JwwReader& r) { benchmark::DoNotOptimize(r.ReadDword()); });
}
BENCHMARK(ReadDword);

void ReadDouble(benchmark::State& state) {
  ByteSink s;
  for (int i = 0; i < kItems; ++i) s.Double(i + 0.5);
  ReadAll(state, s.bytes, kItems, [](JwwReader& r) { benchmark::DoNotOptimize(r.ReadDouble()); });
}
BENCHMARK(ReadDouble);

void ReadCountItem(benchmark::State& state) {
  ByteSink s;
  for (int i = 0; i < kItems; ++i) s.Word(static_cast<std::uint16_t>(i % 0xFFFE));
  ReadAll(state, s.bytes, kItems, [](JwwReader& r) { benchmark::DoNotOptimize(ReadCount(r)); });
}
BENCHMARK(ReadCountItem);

// A text as drawings hold it: Japanese with ASCII digits; 表 ends in 0x5C.
const std::string kSample = "\x82\x50\x8A\x4B \x95\x5C \x95\xBD\x96\xCA\x90\x7D W1820";
const std::u16string kSample16 = u"１階 表 平面図 W1820";

// Strings in the byte form (state.range(0) == 0) or the UTF-16 form.
void ReadString(benchmark::State& state) {
  jwwfixture::JwwBuilder b(700);
  for (int i = 0; i < kItems; ++i) {
    if (state.range(0)) {
      b.Utf16String(kSample16);
    } else {
      b.String(kSample);
    }
  }
  ReadAll(state, b.bytes(), kItems,
          [](JwwReader& r) { benchmark::DoNotOptimize(ReadJwwString(r)); });
}
BENCHMARK(ReadString)->ArgName("utf16")->Arg(0)->Arg(1);

void WriteString(benchmark::State& state) {
  JwwStr text(kSample);
  if (state.range(0)) text.SetForm(JwwStr::Form::Utf16);
  for (auto _ : state) {
    testutil::MemoryFile file;
    JwwWriter w(file);
    for (int i = 0; i < kItems; ++i) WriteJwwString(w, text);
    w.Flush();
    benchmark::DoNotOptimize(file.bytes.data());
  }
  state.SetItemsProcessed(state.iterations() * kItems);
}
BENCHMARK(WriteString)->ArgName("utf16")->Arg(0)->Arg(1);

// An entity list of every kind: SampleEntities over and over.
std::vector<std::uint8_t> EntityStream(int groups) {
  TEntityLists all;
  for (int g = 0; g < groups; ++g) {
    TEntityLists l = jwwfixture::SampleEntities(700, g, {});
    for (const TEntityRef& ref : l.EntityTable) {
      const auto i = static_cast<std::size_t>(ref.Index);
      switch (ref.Kind) {
        case kLine:
          jwwfixture::Add(all, l.Lines[i]);
          break;
        case kArc:
          jwwfixture::Add(all, l.Arcs[i]);
          break;
        case kPoint:
          jwwfixture::Add(all, l.Points[i]);
          break;
        case kText:
          jwwfixture::Add(all, l.Texts[i]);
          break;
        case kDimension:
          jwwfixture::Add(all, l.Dimensions[i]);
          break;
        case kSolid:
          jwwfixture::Add(all, l.Solids[i]);
          break;
        default:
          break;
      }
    }
  }
  jwwfixture::JwwBuilder b(700);
  b.EntityList(all);
  return b.bytes();
}

void ReadEntities(benchmark::State& state) {
  const std::vector<std::uint8_t> bytes = EntityStream(2000);
  testutil::MemoryFile file(bytes);
  std::int64_t entities = 0;
  for (auto _ : state) {
    file.position = 0;
    JwwReader r(file);
    TTagState tags;
    TJwwData d;
    d.Header.Version = 700;
    entities += ReadEntityList(r, 700, tags, d);
  }
  state.SetItemsProcessed(entities);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(ReadEntities)->Unit(benchmark::kMillisecond);

void WriteEntities(benchmark::State& state) {
  const std::vector<std::uint8_t> bytes = EntityStream(2000);
  testutil::MemoryFile in(bytes);
  JwwReader r(in);
  TTagState readTags;
  TJwwData d;
  d.Header.Version = 700;
  const std::int32_t count = ReadEntityList(r, 700, readTags, d);
  for (auto _ : state) {
    testutil::MemoryFile file;
    JwwWriter w(file);
    TTagState tags;
    WriteEntityList(w, tags, d, d);
    w.Flush();
    benchmark::DoNotOptimize(file.bytes.data());
  }
  state.SetItemsProcessed(state.iterations() * count);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(WriteEntities)->Unit(benchmark::kMillisecond);

// The text helpers on one text at a time, as the reader and the image scan
// call them.
template <typename Helper>
void OnText(benchmark::State& state, Helper helper) {
  for (auto _ : state) benchmark::DoNotOptimize(helper(kSample));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kSample.size()));
}

void Upper(benchmark::State& state) {
  OnText(state, [](const std::string& s) { return SjisUpper(s); });
}
BENCHMARK(Upper);

void CharCount(benchmark::State& state) {
  OnText(state, [](const std::string& s) { return SjisCharCount(s); });
}
BENCHMARK(CharCount);

void CleanAfterRead(benchmark::State& state) {
  OnText(state, [](const std::string& s) { return CleanTextAfterRead(s); });
}
BENCHMARK(CleanAfterRead);

void CleanForWriting(benchmark::State& state) {
  OnText(state, [](const std::string& s) { return CleanTextForWrite(s); });
}
BENCHMARK(CleanForWriting);

}  // namespace

BENCHMARK_MAIN();
