// The assembly of a program: the output-name rule, the marker rule per block, the layout of
// the built file field by field, and what is left after a failure.

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <optional>

#include "BuilderTestSupport.h"
#include "archive/ZLIBArchive.h"
#include "base/AtomicFile.h"
#include "base/FailureKinds.h"
#include "icon/RenderIcon.h"
#include "icon/StandardIcon.h"
#include "program/ViewerData.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;
using exe::BuildMessage;

// ---------------------------------------------------------------------------------------------
// Output name

TEST(OutputName, QuotedNamesLoseTheirQuotesAndUnquotedNamesStayWhole) {
  TempFolder folder;
  const std::string spaced = folder.file("mein ordner") + "/ziel.exe";
  EXPECT_EQ(exe::outputNameFrom(spaced), spaced);
  EXPECT_EQ(exe::outputNameFrom("\"" + spaced + "\""), spaced);
  EXPECT_EQ(exe::outputNameFrom(""), "");
  EXPECT_EQ(exe::outputNameFrom("\"\""), "");
  // A lone quote is no pair of quotes: used as typed.
  EXPECT_EQ(exe::outputNameFrom("\"ziel.exe"), "\"ziel.exe");
}

TEST(OutputName, AnExistingFileIsTakenAsTyped) {
  TempFolder folder;
  const std::string quotedName = folder.file("\"alt.exe\"");
  putFile(quotedName, "x");
  EXPECT_EQ(exe::outputNameFrom(quotedName), quotedName);
  EXPECT_TRUE(exe::outputExists(quotedName));
  EXPECT_FALSE(exe::outputExists(folder.file("neu.exe")));
}

// ---------------------------------------------------------------------------------------------
// Marker rule on one block

TEST(MarkerRule, PatchesEveryOccurrenceInTheBlockButNeverBeyondIt) {
  std::string block = decodedPrototype(exe::kBlockSize, {100, 1000, 2040});
  auto* bytes = reinterpret_cast<unsigned char*>(block.data());
  ASSERT_TRUE(exe::patchMarkerInBlock(bytes, block.size(), 0x01020304));
  for (std::size_t at : {100u, 1000u, 2040u}) {
    EXPECT_EQ(le32At(block, at), 0x01020304u) << at;
    EXPECT_EQ(block.substr(at + 4, 4), "EXEH");
  }
  EXPECT_EQ(le32At(block, 116), 0u);
  EXPECT_EQ(le32At(block, 1016), 0u);
  // The record at 2040 would end at 2060: its bytes 16..19 lie in the next block.
  EXPECT_EQ(block.size(), exe::kBlockSize);
}

TEST(MarkerRule, AMarkerCutByTheBlockEndIsNotRecognised) {
  std::string block = decodedPrototype(exe::kBlockSize, {2044});
  EXPECT_FALSE(
      exe::patchMarkerInBlock(reinterpret_cast<unsigned char*>(block.data()), block.size(), 5));
  std::string tiny = "BRXTEXE";
  EXPECT_FALSE(
      exe::patchMarkerInBlock(reinterpret_cast<unsigned char*>(tiny.data()), tiny.size(), 5));
}

TEST(MarkerRule, EncodingWrapsAroundAndDecodingUndoesIt) {
  std::string bytes("\x00\x01\xFE\xFF", 4);
  auto* raw = reinterpret_cast<unsigned char*>(bytes.data());
  exe::encodePrototypeBytes(raw, bytes.size());
  EXPECT_EQ(bytes, std::string("\x01\x02\xFF\x00", 4));
  exe::decodePrototypeBytes(raw, bytes.size());
  EXPECT_EQ(bytes, std::string("\x00\x01\xFE\xFF", 4));
}

// ---------------------------------------------------------------------------------------------
// Assembly

class Assembly : public ::testing::Test {
 protected:
  void SetUp() override {
    archive = folder.file("page.zlb");
    putFile(archive, "ARCHIVE-BYTES-" + std::string(5000, 'z'));
    output = folder.file("ziel.exe");
    settings.settings = someSettings();
    settings.pagePath = "/opt/vantrel/formular.htm";
  }

  exe::AssembleResult assemble(const std::string& decoded, exe::AssembleOptions options = {}) {
    prototype = folder.file("ProtoExe.dat");
    putFile(prototype, encoded(decoded));
    return assembleFiles(prototype, archive, output, options);
  }

  // The assembly, its messages passed to the recorder as the window would show them.
  exe::AssembleResult assembleFiles(const std::string& from, const std::string& page,
                                    const std::string& to, exe::AssembleOptions options = {}) {
    exe::AssembleResult result = exe::AssembleExe(from, page, to, settings, options);
    for (const BuildMessage& message : exe::assemblyMessages(result)) recorder.record(message);
    return result;
  }

  bool onlyOutputAndInputsInFolder() const {
    for (const std::string& name : folder.entries()) {
      if (name != "ziel.exe" && name != "page.zlb" && name != "ProtoExe.dat") return false;
    }
    return true;
  }

  TempFolder folder;
  std::string prototype;
  std::string archive;
  std::string output;
  exe::WindowSettings settings;
  BuildMessageRecorder recorder;
};

TEST_F(Assembly, WritesThePatchedPrototypeTheSettingsAndTheArchiveFieldByField) {
  settings.settings.element(WindowElement::Toolbar) = false;
  settings.settings.element(WindowElement::Reload) = false;
  settings.settings.width = 600;
  settings.settings.height = 440;
  settings.settings.fixedSize = true;
  const std::string decoded = decodedPrototype(10000, {4100});
  const exe::AssembleResult result = assemble(decoded);
  ASSERT_TRUE(result.built) << result.failure.detail;
  EXPECT_EQ(recorder.shown, std::vector<BuildMessage>{exe::kBuildSucceeded});

  const std::string built = fileBytes(output);
  const std::size_t S = decoded.size();
  const std::size_t L1 = settings.settings.projectName.size();
  const std::size_t L2 = settings.pagePath.size();
  const std::string archiveBytes = fileBytes(archive);
  ASSERT_EQ(built.size(), S + 28 + L1 + L2 + archiveBytes.size());
  EXPECT_EQ(result.outputLength, built.size());
  EXPECT_EQ(result.programLength, S);

  // The decoded prototype, the record excepted: S in bytes 0..3, zero in 16..19.
  EXPECT_EQ(built.substr(0, 4100), decoded.substr(0, 4100));
  EXPECT_EQ(le32At(built, 4100), S);
  EXPECT_EQ(built.substr(4104, 12), decoded.substr(4104, 12));
  EXPECT_EQ(le32At(built, 4116), 0u);
  EXPECT_EQ(built.substr(4120, S - 4120), decoded.substr(4120));

  const std::string flags = built.substr(S, 10);
  EXPECT_EQ(flags, std::string("\x01\x00\x01\x01\x01\x01\x01\x01\x00\x01", 10));
  EXPECT_EQ(built.substr(S + 10, 8), std::string("\x58\x02\x00\x00\xB8\x01\x00\x00", 8));
  EXPECT_EQ(built[S + 18], '\x01');
  EXPECT_EQ(built[S + 19], '\x01');
  EXPECT_EQ(le32At(built, S + 20), L1);
  EXPECT_EQ(built.substr(S + 24, L1), settings.settings.projectName);
  EXPECT_EQ(le32At(built, S + 24 + L1), L2);
  EXPECT_EQ(built.substr(S + 28 + L1, L2), settings.pagePath);
  EXPECT_EQ(built.substr(S + 28 + L1 + L2), archiveBytes);

  EXPECT_EQ(modeOf(output) & 0111, 0111) << "the program must be executable";
  EXPECT_TRUE(onlyOutputAndInputsInFolder());
}

TEST_F(Assembly, WritesTypedSizesAnEmptyNameAndTheMaximisedChoiceAsTheyAre) {
  settings.settings.width = 5000;
  settings.settings.height = -3;
  settings.settings.definedSize = false;
  settings.settings.projectName.clear();
  const std::string decoded = decodedPrototype(3000, {0});
  ASSERT_TRUE(assemble(decoded).built);
  const std::string built = fileBytes(output);
  const std::size_t S = decoded.size();
  EXPECT_EQ(le32At(built, S + 10), 5000u);
  EXPECT_EQ(le32At(built, S + 14), static_cast<std::uint32_t>(-3));
  EXPECT_EQ(built[S + 18], '\x00');
  EXPECT_EQ(built.substr(S + 20, 4), std::string(4, '\0'));
  EXPECT_EQ(le32At(built, S + 24), settings.pagePath.size());
}

TEST_F(Assembly, OnlyTheFirstBlockWithAMarkerIsPatched) {
  // Two records in block 1 are both patched; the one in block 3 is left as it was.
  const std::string decoded =
      decodedPrototype(4 * exe::kBlockSize, {2048 + 10, 2048 + 500, 3 * 2048 + 4});
  ASSERT_TRUE(assemble(decoded).built);
  const std::string built = fileBytes(output);
  EXPECT_EQ(le32At(built, 2058), decoded.size());
  EXPECT_EQ(le32At(built, 2548), decoded.size());
  EXPECT_EQ(built.substr(3 * 2048 + 4, 20), decoded.substr(3 * 2048 + 4, 20));
}

TEST_F(Assembly, ARecordReachingIntoTheNextBlockIsPatchedOnlyWithinItsOwnBlock) {
  const std::string decoded = decodedPrototype(3 * exe::kBlockSize, {2040});
  ASSERT_TRUE(assemble(decoded).built);
  const std::string built = fileBytes(output);
  EXPECT_EQ(le32At(built, 2040), decoded.size());
  // Bytes 16..19 of the record fall into the next block and keep the prototype's bytes.
  EXPECT_EQ(built.substr(2048, 12), decoded.substr(2048, 12));
}

TEST_F(Assembly, APrototypeOfWholeBlocksIsCopiedInThatManyBlocksWhateverTheChunkSize) {
  const std::string decoded = decodedPrototype(7 * exe::kBlockSize, {6 * 2048 + 100});
  std::string first;
  for (std::size_t chunk :
       {exe::kBlockSize, 3 * exe::kBlockSize, std::size_t{1} << 20, std::size_t{5000}}) {
    recorder.shown.clear();
    const exe::AssembleResult result = assemble(decoded, {chunk});
    ASSERT_TRUE(result.built) << chunk;
    EXPECT_EQ(result.prototypeBlocks, 7u) << chunk;
    const std::string built = fileBytes(output);
    if (first.empty()) first = built;
    EXPECT_EQ(built, first) << "chunk " << chunk;
  }
  EXPECT_EQ(le32At(first, 6 * 2048 + 100), decoded.size());
  EXPECT_EQ(assemble(decodedPrototype(7 * exe::kBlockSize + 1, {0})).prototypeBlocks, 8u);
}

TEST_F(Assembly, AMarkerCrossingTheFirstBlockBoundaryFailsAndLeavesNoFile) {
  const exe::AssembleResult result = assemble(decodedPrototype(5000, {2044}));
  EXPECT_FALSE(result.built);
  EXPECT_FALSE(result.markerFound);
  EXPECT_EQ(recorder.shown, (std::vector<BuildMessage>{exe::kPrototypeDamaged, exe::kBuildFailed}));
  EXPECT_FALSE(fs::exists(output));
  EXPECT_TRUE(onlyOutputAndInputsInFolder());
}

TEST_F(Assembly, AFailedBuildLeavesAnExistingOutputAsItWas) {
  putFile(output, "the old program");
  ::chmod(output.c_str(), 0640);
  EXPECT_FALSE(assemble(decodedPrototype(5000, {})).built);
  EXPECT_EQ(fileBytes(output), "the old program");
  EXPECT_EQ(modeOf(output), 0640u);
  EXPECT_TRUE(onlyOutputAndInputsInFolder());

  // A successful build replaces it and keeps its permissions, adding execute where it may be read.
  recorder.shown.clear();
  EXPECT_TRUE(assemble(decodedPrototype(5000, {8})).built);
  EXPECT_NE(fileBytes(output), "the old program");
  EXPECT_EQ(modeOf(output), 0750u);
}

TEST_F(Assembly, ASignedProgramReplacesTheOutputOnlyWhenTheSignerSucceeded) {
  const std::string signer = folder.file("signer.sh");
  putFile(signer, kSignerScript);
  ::chmod(signer.c_str(), 0700);
  ASSERT_TRUE(assemble(decodedPrototype(5000, {8})).built);
  const std::string unsignedBytes = fileBytes(output);
  struct Case {
    const char* what;
    std::string signer;
    std::string password;
    std::optional<BuildFailure> failure;
  };
  const Case cases[] = {
      {"signed", signer, "geheim", std::nullopt},
      {"wrong password", signer, "falsch", BuildFailure::SigningRefused},
      {"no signer", folder.file("nicht-da"), "geheim", BuildFailure::SigningFailed},
  };
  for (const Case& c : cases) {
    putFile(output, "the old program");
    exe::AssembleOptions options;
    options.signing = exe::SigningJob{{"zertifikat.p12", ""}, c.password, c.signer};
    recorder.shown.clear();
    const exe::AssembleResult result = assemble(decodedPrototype(5000, {8}), options);
    EXPECT_EQ(result.built, !c.failure) << c.what;
    if (c.failure) {
      EXPECT_EQ(result.stoppedAt, exe::AssemblyStep::sign) << c.what;
      EXPECT_TRUE(result.failure.is(*c.failure)) << c.what << ": " << result.failure.detail;
      EXPECT_EQ(fileBytes(output), "the old program") << c.what;
      EXPECT_EQ(recorder.shown, std::vector<BuildMessage>{exe::kBuildFailed}) << c.what;
    } else {
      EXPECT_EQ(fileBytes(output), unsignedBytes + "SIGNED");
      EXPECT_EQ(modeOf(output) & 0100, 0100u);
    }
    for (const std::string& name : folder.entries())
      EXPECT_TRUE(name[0] != '.') << c.what << " left " << name;
  }
}

TEST(Signing, OsslsigncodeGetsTheCertificateThePasswordOnStandardInputAndSha256) {
  using Arguments = std::vector<std::string>;
  const struct {
    exe::SigningIdentity identity;
    Arguments expected;
  } cases[] = {
      {{"/home/a/firma.p12", ""},
       {"sign", "-pkcs12", "/home/a/firma.p12", "-readpass", "-", "-h", "sha256", "-in", "u.exe",
        "-out", "s.exe"}},
      {{"firma.p12", "http://timestamp.example.org"},
       {"sign", "-pkcs12", "firma.p12", "-readpass", "-", "-h", "sha256", "-ts",
        "http://timestamp.example.org", "-in", "u.exe", "-out", "s.exe"}},
      {{"pkcs11:token=Firma;object=Code", ""},
       {"sign", "-pkcs11module", "p11-kit-proxy.so", "-pkcs11cert",
        "pkcs11:token=Firma;object=Code", "-key", "pkcs11:token=Firma;object=Code", "-readpass",
        "-", "-h", "sha256", "-in", "u.exe", "-out", "s.exe"}},
      {{"PKCS11:object=Code?pin-source=x&module-path=/usr/lib/opensc-pkcs11.so", ""},
       {"sign", "-pkcs11module", "/usr/lib/opensc-pkcs11.so", "-pkcs11cert",
        "PKCS11:object=Code?pin-source=x&module-path=/usr/lib/opensc-pkcs11.so", "-key",
        "PKCS11:object=Code?pin-source=x&module-path=/usr/lib/opensc-pkcs11.so", "-readpass", "-",
        "-h", "sha256", "-in", "u.exe", "-out", "s.exe"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(exe::signerArguments(c.identity, "u.exe", "s.exe"), c.expected)
        << c.identity.certificate;
}

TEST_F(Assembly, AMissingPrototypeOrArchiveIsReportedAndNothingIsWritten) {
  putFile(output, "old");
  EXPECT_FALSE(assembleFiles(folder.file("nirgends.dat"), archive, output).built);
  EXPECT_EQ(recorder.shown,
            (std::vector<BuildMessage>{exe::kPrototypeUnreadable, exe::kBuildFailed}));
  EXPECT_EQ(fileBytes(output), "old");

  recorder.shown.clear();
  prototype = folder.file("ProtoExe.dat");
  putFile(prototype, encoded(decodedPrototype(3000, {16})));
  EXPECT_FALSE(assembleFiles(prototype, folder.file("weg.zlb"), output).built);
  EXPECT_EQ(recorder.shown,
            (std::vector<BuildMessage>{exe::kArchiveUnreadable, exe::kBuildFailed}));
  EXPECT_EQ(fileBytes(output), "old");

  // A folder is no prototype.
  recorder.shown.clear();
  EXPECT_FALSE(assembleFiles(folder.path().string(), archive, output).built);
  EXPECT_EQ(recorder.shown.front(), exe::kPrototypeUnreadable);
  EXPECT_TRUE(onlyOutputAndInputsInFolder());
}

TEST_F(Assembly, TheFirstFailedStepEndsTheAssembly) {
  // No marker and no archive: the assembly stops at the marker, before the settings are
  // written and the archive is looked for, so only the prototype's failure is reported.
  putFile(output, "old");
  prototype = folder.file("ProtoExe.dat");
  putFile(prototype, encoded(decodedPrototype(5000, {})));
  const exe::AssembleResult result = assembleFiles(prototype, folder.file("weg.zlb"), output);
  EXPECT_FALSE(result.built);
  EXPECT_EQ(result.stoppedAt, exe::AssemblyStep::findMarker);
  EXPECT_EQ(result.failure.detail, "The prototype holds no marker record");
  EXPECT_EQ(result.outputLength, 5000u);
  EXPECT_EQ(recorder.shown, (std::vector<BuildMessage>{exe::kPrototypeDamaged, exe::kBuildFailed}));
  EXPECT_EQ(fileBytes(output), "old");
  EXPECT_TRUE(onlyOutputAndInputsInFolder());
}

TEST_F(Assembly, AFailedWriteNamesTheOutputAndTheSystemsReasonNotAnInput) {
  const std::string decoded = decodedPrototype(10000, {4100});
  // Failing in the prototype's part, in the window settings, in the archive's part, at the
  // sync: the output is what failed each time, never the file being copied.
  const struct {
    const char* where;
    AtomicFile::Fault fault;
    exe::AssemblyStep step;
  } cases[] = {
      {"prototype", {5000, false, false}, exe::AssemblyStep::copyPrototype},
      {"settings", {10010, false, false}, exe::AssemblyStep::writeSettings},
      {"archive", {12000, false, false}, exe::AssemblyStep::copyArchive},
      {"sync", {std::numeric_limits<std::uint64_t>::max(), true, false}, exe::AssemblyStep::commit},
  };
  for (const auto& attempt : cases) {
    AtomicFile::injectFaultForTests(attempt.fault);
    const exe::AssembleResult result = assemble(decoded);
    AtomicFile::injectFaultForTests(std::nullopt);
    EXPECT_FALSE(result.built) << attempt.where;
    EXPECT_EQ(result.failure.detail,
              "Unable to write " + output + ": Write error: Input/output error.")
        << attempt.where;
    EXPECT_EQ(result.stoppedAt, attempt.step) << attempt.where;
    EXPECT_TRUE(onlyOutputAndInputsInFolder()) << attempt.where;
  }
}

TEST_F(Assembly, AnOutputThatCannotBeCreatedGivesOnlyTheClosingFailure) {
  prototype = folder.file("ProtoExe.dat");
  putFile(prototype, encoded(decodedPrototype(3000, {16})));
  const std::string nowhere = folder.file("fehlt") + "/ziel.exe";
  EXPECT_FALSE(assembleFiles(prototype, archive, nowhere).built);
  EXPECT_EQ(recorder.shown, std::vector<BuildMessage>{exe::kBuildFailed});
  // A folder in the output's place is not replaced either.
  recorder.shown.clear();
  fs::create_directory(folder.file("ordner.exe"));
  EXPECT_FALSE(assembleFiles(prototype, archive, folder.file("ordner.exe")).built);
  EXPECT_TRUE(fs::is_directory(folder.file("ordner.exe")));
  EXPECT_EQ(recorder.shown, std::vector<BuildMessage>{exe::kBuildFailed});
}

// ---------------------------------------------------------------------------------------------
// The whole build after the questions

class Build : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(folder.file("tmp"));
    fs::create_directory(folder.file("tool"));
    request.prototypePath = folder.file("tool/ProtoExe.dat");
    putFile(request.prototypePath, encoded(decodedPrototype(9000, {2048 * 2 + 32})));
    FieldList fields;
    fields.append(FormField{"name", "Textfeld", "Ihr Name", "", "30", "1", "0", "Nein", "Nein"});
    written = writeFormPage(folder.file("tool"), fields, "a@example.org");
    request.pagePath = folder.file("tool/formular.htm");
    request.pageWritten = written.ok();
    request.outputPath = folder.file("ziel.exe");
    request.settings = someSettings();
    request.tempFolder = folder.file("tmp");  // without a trailing "/"
  }

  // The build, its messages passed to the recorder as the window would show them.
  exe::BuildResult build() {
    exe::BuildResult result = exe::buildExe(request);
    for (const BuildMessage& message : exe::buildMessages(result)) recorder.record(message);
    return result;
  }

  TempFolder folder;
  Status written;
  exe::BuildRequest request;
  BuildMessageRecorder recorder;
};

TEST_F(Build, PacksThePageIntoTheFirstFreeTemporaryArchiveAndRemovesItAfterwards) {
  putFile(folder.file("tmp/tf0.zlb"), "someone else's");
  putFile(folder.file("tmp/tf1.zlb"), "someone else's");
  const exe::BuildResult result = build();
  ASSERT_TRUE(result.built) << result.failure.detail;
  EXPECT_EQ(result.archivePath, folder.file("tmp") + "/tf2.zlb");
  EXPECT_FALSE(fs::exists(result.archivePath));
  EXPECT_EQ(fileBytes(folder.file("tmp/tf0.zlb")), "someone else's");
  EXPECT_EQ(fileBytes(folder.file("tmp/tf1.zlb")), "someone else's");
  EXPECT_EQ(recorder.shown, std::vector<BuildMessage>{exe::kBuildSucceeded});

  // The archive behind the settings opens with the core reader and holds the page, with its
  // folder recorded, compressed, its check sum right.
  zlb::TZLBArchive reader;
  reader.CheckCRC = true;
  ASSERT_TRUE(reader.OpenArchive(request.outputPath));
  const std::size_t S = 9000;
  EXPECT_EQ(reader.GetArchiveStart(),
            S + 28 + request.settings.projectName.size() + request.pagePath.native().size());
  ASSERT_EQ(reader.Count(), 1);
  const zlb::RegistryEntry entry = reader.GetEntry(0);
  EXPECT_EQ(entry.EntryName(), "formular.htm");
  EXPECT_EQ(entry.DataOffset(), 0u);
  EXPECT_FALSE(entry.EntryPath().empty());
  std::ostringstream content;
  reader.ExtractToStream(0, content);
  EXPECT_EQ(content.str(), fileBytes(request.pagePath));
}

TEST_F(Build, APageThatWasNotWrittenOrDidNotReachTheArchiveFailsTheBuild) {
  putFile(request.outputPath, "old");
  request.pageWritten = false;
  EXPECT_FALSE(build().built);
  EXPECT_EQ(recorder.shown, std::vector<BuildMessage>{exe::kBuildFailed});

  recorder.shown.clear();
  request.pageWritten = true;
  request.pagePath = folder.file("tool/fehlt.htm");
  const exe::BuildResult result = build();
  EXPECT_FALSE(result.built);
  EXPECT_EQ(recorder.shown, std::vector<BuildMessage>{exe::kBuildFailed});
  EXPECT_FALSE(fs::exists(result.archivePath));
  EXPECT_EQ(fileBytes(request.outputPath), "old");
}

// The icon is part of the program when it is renamed into place: its 512 bytes at IconPos, the
// rest of the program as without it. A position whose block does not fit the program leaves the
// prototype's icon and says so, and the program is built all the same.
TEST_F(Build, WritesTheIconIntoTheProgramAtItsPositionOrSaysWhyNot) {
  const IconBitmap icon = renderIconBitmap(standardIconPicture());
  const IconPixelBlock pixels = iconPixelBlock(icon);
  const exe::BuildResult plain = build();
  ASSERT_TRUE(plain.built) << plain.failure.detail;
  EXPECT_EQ(plain.assembly.icon, WriteIconResult::NoIconPos);
  const std::string without = fileBytes(request.outputPath);

  struct Case {
    std::uint64_t position;
    WriteIconResult expected;
  };
  const std::uint64_t length = without.size();
  for (const Case& c : {Case{100, WriteIconResult::Written},
                        Case{length - kIconPixelBlockSize, WriteIconResult::Written},
                        Case{length - kIconPixelBlockSize + 1, WriteIconResult::TooShort}}) {
    SCOPED_TRACE(c.position);
    request.icon = {static_cast<std::uint32_t>(c.position), icon};
    const exe::BuildResult result = build();
    ASSERT_TRUE(result.built) << result.failure.detail;
    EXPECT_EQ(result.assembly.icon, c.expected);
    std::string expected = without;
    if (c.expected == WriteIconResult::Written) {
      expected.replace(c.position, pixels.size(),
                       std::string(reinterpret_cast<const char*>(pixels.data()), pixels.size()));
    }
    EXPECT_EQ(fileBytes(request.outputPath), expected);
    EXPECT_EQ(fs::status(request.outputPath).permissions() & fs::perms::owner_exec,
              fs::perms::owner_exec);
  }
}

TEST(TemporaryArchiveName, CountsUpFromZeroAndAddsTheSeparator) {
  TempFolder folder;
  const std::string base = folder.path().string();
  EXPECT_EQ(exe::temporaryArchiveName(base), base + "/tf0.zlb");
  EXPECT_EQ(exe::temporaryArchiveName(base + "/"), base + "/tf0.zlb");
  putFile(base + "/tf0.zlb", "");
  fs::create_directory(base + "/tf1.zlb");
  EXPECT_EQ(exe::temporaryArchiveName(base), base + "/tf2.zlb");
}

TEST(Messages, CarryTheirTitlesAndWindowsFlags) {
  EXPECT_EQ(exe::kEmailMissing.flags, 16u);
  EXPECT_EQ(exe::kEmailMissing.title, "Fehler");
  EXPECT_EQ(exe::kOutputNameMissing.flags, 16u);
  EXPECT_FALSE(exe::kOutputNameMissing.title);
  EXPECT_EQ(exe::kOverwriteQuestion.flags, 35u);
  EXPECT_EQ(exe::kOverwriteQuestion.title,
            "Datei \xFC"
            "berschreiben?");
  EXPECT_EQ(exe::kPrototypeUnreadable.flags, 8256u);
  EXPECT_EQ(exe::kPrototypeDamaged.flags, 8256u);
  EXPECT_EQ(exe::kArchiveUnreadable.flags, 8256u);
  EXPECT_EQ(exe::kBuildFailed.flags, 8208u);
  EXPECT_EQ(exe::kBuildSucceeded.flags, 8256u);
  EXPECT_EQ(exe::kBuildSucceeded.title, "EXE-Datei erstellt");
}

}  // namespace
}  // namespace vantrel::test
