// qla: encodes WAVE files into Quartzline Audio files and back, describes and
// tests .qla files, using the same objects that the host application uses.
#include "tools/qla/commands.h"
#include "tools/qla/interrupt.h"
#include "tools/qla/usage_hints.h"
#include "tools/qla/version.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr const char* kFooter =
    "Inputs: encode reads PCM WAVE files (RIFF or RF64; 8 to 32-bit integer or float samples, 1 or 2 channels,\n"
    "1000 to 768000 Hz; - for standard input with -o); decode, test and info read .qla files.\n"
    "Outputs: next to each input with the extension replaced (x.wav -> x.qla, x.qla -> x.wav), in -d's folder,\n"
    "or -o's name for a single input. An existing output is replaced only with -f, and never the input itself.\n"
    "Exit codes: 0 every file succeeded; 1 some file failed; 2 usage error; 128 + signal when stopped\n"
    "(130 Ctrl+C, 143 SIGTERM, 129 SIGHUP, 141 closed output pipe); unfinished outputs are removed.\n";

void AddCommonOptions(CLI::App* command, qlatool::Options* options, bool writesFiles, const char* outputText) {
  command->add_option("inputs", options->inputs, "Input files")->required();
  command->footer(kFooter);
  if (writesFiles) {
    command->add_option("-o,--output", options->output, outputText);
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
  app.set_version_flag("--version", std::string("qla ") + qlatool::kVersion);
  app.require_subcommand(1);
  app.footer(kFooter);
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const std::string level = qlatool::CompressionLevelHint(arguments);
  if (!level.empty()) {
    std::fprintf(stderr, "qla: %s\n", level.c_str());
    return qlatool::kExitUsage;
  }

  qlatool::Options options;
  CLI::App* encode = app.add_subcommand("encode", "Encode PCM WAVE files into .qla files");
  AddCommonOptions(encode, &options, true, "Output file (one input only)");
  encode->add_option("-b,--bits", options.bits, "Convert samples that a .qla file cannot hold (8-bit, 32-bit, float) to 16 or 24 bits")
      ->check(CLI::IsMember({16u, 24u}));
  encode->add_flag("-V,--verify", options.verify, "Decode what was written and compare it with the source");
  bool dropForeign = false;
  encode->add_flag("--no-keep-foreign", dropForeign,
                   "Do not keep the source's other chunks, format chunk and chunk order (decode then writes a "
                   "plain WAVE file)");
  encode->add_flag("--bits-always", options.bitsAlways,
                   "Convert every input with --bits, also those a .qla file holds as they are");
  encode->add_flag("--ignore-chunk-sizes", options.ignoreChunkSizes,
                   "Read the audio from the data chunk to the end of the file, whatever the sizes say");

  CLI::App* decode = app.add_subcommand("decode", "Decode .qla files into PCM WAVE files");
  AddCommonOptions(decode, &options, true, "Output file (one input only; - for standard output)");

  CLI::App* info = app.add_subcommand("info", "Describe .qla files");
  AddCommonOptions(info, &options, false, nullptr);
  info->add_flag("--json", options.json, "Print JSON");

  CLI::App* test = app.add_subcommand(
      "test",
      "Decode .qla files fully and through the seek table, and compare the audio with the MD5 checksum that "
      "qla encode stores. A file without one (written by the host application) is checked only for decoding "
      "errors, its length and its seek table: damage that still decodes goes unnoticed there.");
  AddCommonOptions(test, &options, false, nullptr);

  const std::vector<std::string> commands = {"encode", "decode", "info", "test"};
  if (!arguments.empty() && arguments[0][0] != '-' &&
      std::find(commands.begin(), commands.end(), arguments[0]) == commands.end()) {
    std::fprintf(stderr, "qla: %s\n", qlatool::CommandHint(arguments[0], commands).c_str());
    return qlatool::kExitUsage;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "qla: %s\nRun qla --help for more information.\n", e.what());
    return qlatool::kExitUsage;
  }

  options.keepForeign = !dropForeign;
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
