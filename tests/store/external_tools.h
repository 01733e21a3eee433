// Independent programs that read and write workbooks, for checking our files against theirs:
// python3-xlrd and python3-xlwt, and LibreOffice in headless mode. Each run is bounded in time.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace corvel::testing {

using Rows = std::vector<std::vector<std::string>>;

inline constexpr const char* kPython = "/usr/bin/python3";

struct RunResult {
  int status = -1;
  std::string output;
};

// Runs a shell command line, collecting its standard output.
inline RunResult RunCommand(const std::string& command) {
  RunResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return result;
  char buffer[65536];
  std::size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
    result.output.append(buffer, n);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

inline bool PythonHas(const std::string& module) {
  return RunCommand(std::string("timeout 20 ") + kPython + " -c 'import " + module +
                    "' 2>/dev/null")
             .status == 0;
}

inline bool HaveLibreOffice() {
  return RunCommand("command -v soffice >/dev/null 2>&1").status == 0;
}

// Rows joined by 0x1E, cells by 0x1F: both never appear in the texts under test.
inline Rows SplitRows(const std::string& text) {
  Rows rows;
  if (text.empty()) return rows;
  std::vector<std::string> row;
  std::string cell;
  for (char c : text) {
    if (c == '\x1f') {
      row.push_back(cell);
      cell.clear();
    } else if (c == '\x1e') {
      row.push_back(cell);
      rows.push_back(row);
      row.clear();
      cell.clear();
    } else {
      cell += c;
    }
  }
  row.push_back(cell);
  rows.push_back(row);
  return rows;
}

// Drops empty cells at the end of each row, and empty rows at the end, so readers that pad
// to the sheet's width compare equal.
inline Rows Trimmed(Rows rows) {
  for (auto& row : rows) {
    while (!row.empty() && row.back().empty())
      row.pop_back();
  }
  while (!rows.empty() && rows.back().empty())
    rows.pop_back();
  return rows;
}

inline std::string WriteScript(const TempFolder& folder, const std::string& name,
                               const std::string& body) {
  const std::string path = folder / name;
  WriteFile(path, body);
  return path;
}

// The sheet's rows as xlrd reads them: texts as they are, whole numbers without ".0".
inline Rows XlrdRows(const TempFolder& folder, const std::string& workbook,
                     const std::string& sheet) {
  const std::string script = WriteScript(folder, "xlrd_rows.py", R"(
import sys, xlrd
book = xlrd.open_workbook(sys.argv[1])
names = [s.name for s in book.sheets()]
sheet = book.sheet_by_index([n.lower() for n in names].index(sys.argv[2].lower()))
rows = []
for r in range(sheet.nrows):
    cells = []
    for c in range(sheet.ncols):
        cell = sheet.cell(r, c)
        if cell.ctype == xlrd.XL_CELL_NUMBER:
            v = cell.value
            cells.append('%d' % v if v == int(v) else repr(v))
        else:
            cells.append(str(cell.value))
    rows.append('\x1f'.join(cells))
sys.stdout.buffer.write('\x1e'.join(rows).encode('utf-8'))
)");
  const RunResult result = RunCommand(std::string("timeout 60 ") + kPython + " " + script + " '" +
                                      workbook + "' '" + sheet + "'");
  if (result.status != 0) return {{"<xlrd failed>"}};
  return Trimmed(SplitRows(result.output));
}

inline std::vector<std::string> XlrdSheetNames(const TempFolder& folder,
                                               const std::string& workbook) {
  const std::string script = WriteScript(folder, "xlrd_names.py", R"(
import sys, xlrd
book = xlrd.open_workbook(sys.argv[1])
sys.stdout.buffer.write('\x1f'.join(s.name for s in book.sheets()).encode('utf-8'))
)");
  const RunResult result =
      RunCommand(std::string("timeout 60 ") + kPython + " " + script + " '" + workbook + "'");
  if (result.status != 0) return {"<xlrd failed>"};
  const Rows rows = SplitRows(result.output);
  return rows.empty() ? std::vector<std::string>{} : rows.front();
}

// Writes an .xls with xlwt from a Python literal: [(sheet name, [[cell, ...], ...]), ...];
// cells are str, int or float.
inline bool XlwtWrite(const TempFolder& folder, const std::string& workbook,
                      const std::string& sheetsLiteral) {
  const std::string script = WriteScript(folder, "xlwt_write.py", R"(
import sys, xlwt
sheets = )" + sheetsLiteral + R"(
book = xlwt.Workbook(encoding='utf-8')
for name, rows in sheets:
    sheet = book.add_sheet(name)
    for r, row in enumerate(rows):
        for c, value in enumerate(row):
            if value is not None:
                sheet.write(r, c, value)
book.save(sys.argv[1])
)");
  return RunCommand(std::string("timeout 60 ") + kPython + " " + script + " '" + workbook + "'")
             .status == 0;
}

// LibreOffice headless with its own profile in the test's folder. Converts source into the
// format named by filter, into outdir. Returns the output file's path or "" on failure.
inline std::string LibreOfficeConvert(const TempFolder& folder, const std::string& source,
                                      const std::string& filter, const std::string& extension,
                                      const std::string& infilter = {}) {
  const std::string outdir = folder / "lo-out";
  const std::string profile = "file://" + (folder / "lo-profile");
  std::string command =
      "cd '" + folder.path() + "' && HOME='" + folder.path() +
      "' timeout 120 soffice --headless --norestore -env:UserInstallation=" + profile +
      " --convert-to '" + filter + "' ";
  if (!infilter.empty()) command += "--infilter='" + infilter + "' ";
  command += "--outdir '" + outdir + "' '" + source + "' >/dev/null 2>&1";
  if (RunCommand(command).status != 0) return {};
  std::string name = source.substr(source.find_last_of('/') + 1);
  name = name.substr(0, name.find_last_of('.')) + "." + extension;
  const std::string out = outdir + "/" + name;
  return Exists(out) ? out : std::string();
}

// A CSV file's rows as Python's csv module reads it.
inline Rows PythonCsvRows(const TempFolder& folder, const std::string& csvPath) {
  const std::string script = WriteScript(folder, "csv_rows.py", R"(
import sys, csv
with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:
    rows = ['\x1f'.join(row) for row in csv.reader(f)]
sys.stdout.buffer.write('\x1e'.join(rows).encode('utf-8'))
)");
  const RunResult result =
      RunCommand(std::string("timeout 60 ") + kPython + " " + script + " '" + csvPath + "'");
  if (result.status != 0) return {{"<csv failed>"}};
  return Trimmed(SplitRows(result.output));
}

}  // namespace corvel::testing
