#include "cli/convertcli.h"

namespace morvane {

std::string convertUsage()
{
    return R"(Usage: morvane-convert [options] RAWFILE...
Converts LightCycler 480 raw data text exports into a worksheet of one row per well and one
column per cycle, as the Morvane window does.

  -o, --output FILE       workbook to add the sheets to (created when missing); default: each RAWFILE
                          gets its own workbook, RAWFILE with the extension .xlsx. FILE.rdml writes
                          RDML, FILE.tsv the RDES table (see --format)
      --format xlsx|rdml|rdes
                          what to write (default: from the extension of --output, else xlsx): a
                          workbook sheet; RDML (every channel, the plate layout, the samples and
                          the melt curve); or the RDES amplification table, and with a melt curve
                          its melting table FILE_melting.tsv beside it. RDML and RDES files are
                          written new, one per RAWFILE (default: RAWFILE with .rdml or .tsv), with
                          every channel unless --channel names some
      --overwrite         replace an existing RDML file or RDES table (default: refuse it); a file
                          of any other kind, or a link to one, is never replaced
      --layout FILE       the plate layout: a table (tab, comma or semicolon separated text, or an
                          .xlsx workbook's first sheet, or an RDES table) whose header names the
                          columns Well, Sample, Sample Type, Target, Target Type, Dye, Quantity,
                          Quantity Unit, Channel; its sample names go into every output, and RDML and
                          RDES take its types, targets, dyes and quantities
      --rdml-version 1.3|1.4
                          the RDML version written (default: 1.3); 1.4 is what the RDML consortium's
                          amplification analysis needs
      --table             write the export table to standard output as tab-separated text (each
                          cell's text as the table holds it; a tab, line break or backslash inside a
                          cell written as \t, \n, \\, another control character as \xHH) and
                          write no workbook
      --list-programs     print the programs the detection offers, one per line:
                          <run><TAB><number of cycles of the first well>, and exit; <run> is N, or
                          N/S for segment S of a program N that reads in several segments
      --list-channels     print the file's channels (reading columns), one per line, and exit
      --melt-peaks        print the melt peaks of the chosen channel, one line per well with a melt
                          curve: <well><TAB><sample><TAB><Tm>[;<Tm>...] in degrees Celsius, highest
                          peak first, the third field empty for a well without a peak; write nothing
                          else. A file without a melt program fails (exit status 1)
      --program N|N/S     program, or program and segment, to convert (default: the first one offered;
                          of a program read in several segments the read at the lowest temperature,
                          and RDML then holds each segment as a run of its own)
      --channel NAME[,NAME...]|all
                          channels to convert (default: the first); with a workbook each channel
                          adds its own sheet, named after the experiment and the channel
      --plate 96|384      plate format (default: recognised from the last line as the window does;
                          required when it is not recognised)
      --wells LIST        wells to export, for example A1,B3,C1:D4 (a rectangle of rows C..D and
                          columns 1..4); default: every well of the plate; wells without data are left
                          out with a warning, as in the window
      --sheet NAME        sheet name; longer than 31 characters: an error; taken: the numbered
                          variant, as in the window. Default: the experiment name, cut to 31
                          characters with a warning when longer
      --keep-separator    keep readings written with the other decimal separator as they are
                          (default: repair them, as a "Yes" in the window does)
      --decimal-separator C   the separator numbers are read with (default: the user's locale's)
      --strict            a file whose readings the checks find damaged fails: nothing is written
                          for it (the checks always run; their findings are warnings otherwise)
      --check             run the conversion and its checks, report the findings and write nothing;
                          exit status 1 when anything was found
  -q, --quiet             no progress output
      --version           print the version and exit
      --help              print this help and exit

Exit status: 0 on success, 1 when a file could not be converted or written (nothing is written
for it; the other files go on) or, with --check or --strict, when the checks found anything,
2 for wrong usage.
)";
}

} // namespace morvane
