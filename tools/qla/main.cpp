// qla: encodes WAVE files into Quartzline Audio files and back, describes and
// tests .qla files, using the same objects that the host application uses.
#include "tools/qla/commands.h"
#include "tools/qla/interrupt.h"
#include "tools/qla/version.h"

#include <CLI/CLI.hpp>

#include <cstdio>

namespace {

void AddCommonOptions(CLI::App* command, qlatool::Options* options, bool writesFiles) {
  command->add_option("inputs", options->inputs, "Input files")->required();
  if (writesFiles) {
    command->add_option("-o,--output", options->output, "Output file (one input only; - for standard output)");
    command->add_option("-d,--dir", options->folder, "Output folder (created names follow the inputs)");
    command->add_flag("-f,--force", options->force, "Overwrite existing output files");
  }
  command->add_option("-j,--jobs", options->jobs, "Threads: files in parallel, and a single file split over them (default: number of processors)")
      ->check(CLI::Range(1u, 256u));
  command->add_flag("-q,--quiet", options->quiet, "Print nothing but failures");
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Quartzline Audio (.qla) lossless encoder, decoder and checker", "qla"};
  app.set_version_flag("-V,--version", std::string("qla ") + qlatool::kVersion);
  app.require_subcommand(1);

  qlatool::Options options;
  CLI::App* encode = app.add_subcommand("encode", "Encode PCM WAVE files into .qla files");
  AddCommonOptions(encode, &options, true);
  encode->add_option("-b,--bits", options.bits, "Convert the samples to 16 or 24 bits (not lossless)")
      ->check(CLI::IsMember({16u, 24u}));
  encode->add_flag("--verify", options.verify, "Decode what was written and compare it with the source");
  encode->add_flag("!--no-keep-foreign", options.keepForeign,
                   "Do not keep the source's other chunks, format chunk and chunk order (decode then writes a "
                   "plain WAVE file)");
  encode->add_flag("--bits-always", options.bitsAlways,
                   "Convert every input with --bits, also those a .qla file holds as they are");
  encode->add_flag("--ignore-chunk-sizes", options.ignoreChunkSizes,
                   "Read the audio from the data chunk to the end of the file, whatever the sizes say");

  CLI::App* decode = app.add_subcommand("decode", "Decode .qla files into PCM WAVE files");
  AddCommonOptions(decode, &options, true);

  CLI::App* info = app.add_subcommand("info", "Describe .qla files");
  AddCommonOptions(info, &options, false);
  info->add_flag("--json", options.json, "Print JSON");

  CLI::App* test = app.add_subcommand("test", "Decode .qla files fully and through the seek table");
  AddCommonOptions(test, &options, false);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e);
    return code == 0 ? qlatool::kExitOk : qlatool::kExitUsage;
  }

  if (!options.output.empty() && !options.folder.empty()) {
    std::fprintf(stderr, "qla: -o and -d cannot be used together\n");
    return qlatool::kExitUsage;
  }
  if (!options.output.empty() && options.inputs.size() > 1) {
    std::fprintf(stderr, "qla: -o names one output file, but %zu inputs were given; use -d\n",
                 options.inputs.size());
    return qlatool::kExitUsage;
  }

  qlatool::InstallInterruptHandler();
  int result = qlatool::kExitUsage;
  if (*encode) result = qlatool::RunEncode(options);
  if (*decode) result = qlatool::RunDecode(options);
  if (*info) result = qlatool::RunInfo(options);
  if (*test) result = qlatool::RunTest(options);
  if (qlatool::Interrupted()) return qlatool::InterruptExitCode();
  return result;
}
