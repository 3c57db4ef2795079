#pragma once

// Every version of what the index keeps on disk and on the server, with what changed at each
// bump. A reader takes no version below its lowest: the desktop's update and the office indexer
// build an older index anew, and every reader refuses a newer one.
namespace IndexFormat {

// One folder's record (folder_record.cpp), the same bytes in either store.
//   1  the files of one folder in one value: names, signatures and runs as varints and deltas
//   2  a checksum of the rest after the layout byte, seeded with the folder's path
// A record of another layout is refused as damaged, as its store's version already tells.
constexpr char recordLayout = 2;

// The desktop's SQLite file (sqlite_store.cpp), in its user_version.
//   1  a row per file and its runs in a full-text table
//   2  one row per folder holding its record
//   3  records of layout 2
constexpr int sqliteSchema = 3;
constexpr int sqliteSchemaLowestRead = 3;

// The office's PostgreSQL tables (postgres_store.cpp), in spurwerk_layout.
//   1  spurwerk_folders and spurwerk_records, as the desktop's SQLite file
//   2  spurwerk_files, the server selecting the files whose runs may hold a text by pg_trgm
//   3  spurwerk_files selected by grams of our own (run_grams.h) instead of pg_trgm
//   4  records of layout 2; the indexer's pending state (spurwerk_watches.pending_since);
//      the folders no notice covers (spurwerk_uncovered); the roots' top names and sweeps
//      (spurwerk_roots)
// spurwerk_files holds each record of spurwerk_records again, one row per file with the grams of
// its runs, and is written with it; spurwerk_folders sums up the records under each indexed
// folder.
constexpr int postgresLayout = 4;
constexpr int postgresLayoutLowestRead = 4;

} // namespace IndexFormat
