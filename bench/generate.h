#pragma once
// Trees to pack that are the same on every machine: written from a seeded generator.

#include <cstdint>
#include <filesystem>
#include <string>

namespace tessaly {

namespace Generate {

enum class Shape {
    Checkout,  // a project checkout: sources, docs, node_modules/, .git, binaries, rejects
    Flat,      // `count` small text files in one folder
    Deep,      // a folder chain `count` deep, a few text files on every level
    Scripts,   // `count` files of text in other scripts than Latin, a few with many emoji
};

struct Request {
    std::filesystem::path dir;
    Shape shape = Shape::Checkout;
    int count = 1;  // the scale of a checkout, the files of a flat tree, the depth of a chain
};

// What was written, by what a packer is expected to make of it.
struct Tally {
    std::int64_t keptFiles = 0;  // text that belongs in the document
    std::int64_t keptBytes = 0;
    std::int64_t duplicateFiles = 0;  // byte copies of kept text
    std::int64_t prunedFiles = 0;     // under skipped or hidden folders, or hidden themselves
    std::int64_t rejectedFiles = 0;   // binary, too large or not UTF-8
    std::int64_t totalBytes = 0;
};

// Writes the tree into `request.dir`, which must be missing or empty.
Tally tree(const Request& request);

}  // namespace Generate

}  // namespace tessaly
