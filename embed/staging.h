// The work folder and the images staged in it for the drawing being
// converted: this run's own staging folder inside the work folder, the
// gzip-compressed copies the writer stores in a drawing, and their clean-up.
// Every staged file lies in StagingFolder + its Name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "jww/jwwtype.h"
#include "text/filenames.h"

// The work folder next to the program ("TEMP\" in the program folder), and
// the staging folder of this run inside it: a fresh folder of its own, so
// that files another run left or stages at the same time are never taken
// for images of this drawing. Both end in "\".
extern std::u16string WorkFolder;
extern std::u16string StagingFolder;

// The staging folder as the image section's sink and source: a load
// extracts each stored image into StagingFolder + its name (a file that
// cannot be written whole is removed and fails the load: a drawing saved
// later would lack the image); a save stores the files found there.
class TStagedImageFiles : public TImageSink, public TImageSource {
 public:
  void Take(const TBindImageType& image, TImageBytes& bytes) override;
  std::unique_ptr<platform::File> Open(const TBindImageType& image, bool& absent) override;
};
// The one every load and save of a conversion uses; it keeps no state.
TStagedImageFiles& StagedImageFiles();

// Creates WorkFolder (it may exist already) and a fresh staging folder of
// this run inside it, and sets StagingFolder. False, with `reason` for a
// person (it names no folder: the caller shows WorkFolder), when either
// cannot be made; StagingFolder is then empty.
bool CreateWorkFolder(std::string& reason);
// Deletes the files of StagedImages, empties the list, removes the staging
// folder and then the work folder if nothing else is left in it. Failures
// are ignored.
void RemoveWorkFolder();

// Compresses every staged image that is not compressed yet into Name +
// ".gz" in the staging folder and renames its entry. Entry i is read from
// `sources[i]` when that is given and not empty (an image file that was
// never copied into the staging folder: it moves once, straight into its
// archive, which then carries that file's time), else from its staged
// file. The images are compressed on up to `threads` threads at once (0:
// as many as the processors allow); each archive is the same whatever the
// number. False, with `reason`, for the first image in list order that
// could not be compressed: the entries before it keep their new names, and
// no archive of it or of any image after it is left.
// With `unreadable`, an image read from its source that cannot be read (or
// whose archive the image section could not hold) does not fail the rest:
// it is listed there by its entry, with why, and nothing of it is left.
// With `deflated`, an image whose bytes were compressed before is not
// compressed again: its archive is made from the stream kept there.
struct TUnreadableImage {
  std::size_t entry;
  std::string reason;  // for a person
};
// Images compressed earlier in a run, kept by their bytes, so that the
// drawings of a batch that share a logo or a key plan deflate it once. Only
// an image of one piece is kept (its stream depends on its bytes alone, so
// the archive comes out the same), and only while all of them fit in
// kDeflatedBudget bytes. Whether an image is kept is decided by comparing
// its bytes, never its name or time: a file changed between two drawings
// is compressed afresh.
struct TDeflatedImages {
  struct Image {
    std::vector<unsigned char> bytes, stream;
  };
  static constexpr std::size_t kDeflatedBudget = 8 * 1024 * 1024;
  // By the image's CRC-32 and size.
  std::unordered_multimap<std::uint64_t, Image> images;
  std::size_t kept = 0;  // bytes of every image and stream
};
bool CompressStagedImages(std::string& reason, const std::vector<std::u16string>& sources = {},
                          unsigned threads = 0, std::vector<TUnreadableImage>* unreadable = nullptr,
                          TDeflatedImages* deflated = nullptr);
// Writes `input` as one gzip member to `output` (replacing it). False, with
// `reason`, when the input cannot be read or the output not written; no
// output is left behind then.
// The header names the input's file name, unless CP932 cannot hold it.
bool GzipCompressFile(const std::u16string& input, const std::u16string& output,
                      std::string& reason);
void DeleteStagedArchives();
void DeleteStagedOriginals();
