// brenik-relay's command line: the form a motion program sends in, where to listen and where to
// send the receivers' message.
#include "tools/relay_options.h"

#include <string>

#include "app/side_profile.h"

namespace bench {
namespace {

using platform::Failure;
using Refusal = std::optional<Failure>;
using Numbers = RelayForm::Numbers;

constexpr int kMaxBits = 32;
constexpr double kMaxFullScale = 90.0;

// An integer of at most ten digits with an optional sign, within the widest range.
std::optional<std::int64_t> parseInteger(std::string_view text) {
  const bool negative = !text.empty() && text.front() == '-';
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
  if (text.empty() || text.size() > 10) return std::nullopt;
  std::int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > kMaxRelayInteger) return std::nullopt;
  return negative ? -value : value;
}

// The escapes a command prompt cannot type: \t, \r, \n and \\ itself.
std::optional<std::string> unescape(const std::string& text) {
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      plain += text[i];
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    switch (text[i]) {
      case 't': plain += '\t'; break;
      case 'r': plain += '\r'; break;
      case 'n': plain += '\n'; break;
      case '\\': plain += '\\'; break;
      default: return std::nullopt;
    }
  }
  return plain;
}

class RelayParser {
 public:
  platform::Result<RelayCommand> run(int argc, const char* const* argv) {
    const KnownOptions known{{"--bits", "--range", "--centre", "--full-scale", "--decimal",
                              "--order", "--prefix", "--separator", "--suffix", "--listen",
                              "--to", "--duration"},
                             {"--degrees", "--status"},
                             {}};
    const platform::Result<Asked> asked = readCommandLine(
        argc, argv, known,
        [this](const std::string& name, const std::string& value) { return option(name, value); },
        nullptr);
    if (!asked) return asked.failure();
    if (*asked != Asked::Run) return RelayCommand{*asked, {}};
    return finish();
  }

 private:
  Refusal chooseForm(const std::string& name, Numbers numbers) {
    if (!formOption_.empty()) return Failure{name + " and " + formOption_ + " are two input forms; give one"};
    formOption_ = name;
    form_.numbers = numbers;
    return std::nullopt;
  }

  Refusal option(const std::string& name, const std::string& value) {
    RelayForm& form = form_;
    if (name == "--degrees") return chooseForm(name, Numbers::Degrees);
    if (name == "--status") {
      options_.status = true;
      return std::nullopt;
    }
    if (name == "--bits") {
      const std::optional<std::int64_t> bits = parseInteger(value);
      if (!bits || *bits < 1 || *bits > kMaxBits) {
        return badValue(name, value, "expected 1 to 32 bits");
      }
      form.minimum = 0;
      form.maximum = (std::int64_t{1} << *bits) - 1;
      return chooseForm(name, Numbers::Integers);
    }
    if (name == "--range") {
      const std::size_t colon = value.find(':');
      const std::optional<std::int64_t> low = parseInteger(value.substr(0, colon));
      const std::optional<std::int64_t> high =
          colon == std::string::npos ? std::nullopt : parseInteger(value.substr(colon + 1));
      if (!low || !high || *low >= *high) {
        return badValue(name, value, "expected MIN:MAX, integers with MIN below MAX, within " +
                                    std::to_string(-kMaxRelayInteger) + ".." +
                                    std::to_string(kMaxRelayInteger));
      }
      form.minimum = *low;
      form.maximum = *high;
      return chooseForm(name, Numbers::Integers);
    }
    if (name == "--centre") {
      centre_ = parseNumber(value);
      if (!centre_) return badValue(name, value, "expected a number");
      centreText_ = value;
      return std::nullopt;
    }
    if (name == "--full-scale") {
      const std::optional<double> degrees = parseNumber(value);
      if (!degrees || !(*degrees > 0.0) || *degrees > kMaxFullScale) {
        return badValue(name, value, "expected degrees above 0 and at most 90");
      }
      form.fullScale = *degrees;
      fullScaleGiven_ = true;
      return std::nullopt;
    }
    if (name == "--decimal") {
      if (value != "point" && value != "comma") {
        return badValue(name, value, "expected point or comma");
      }
      form.decimalMark = value == "point" ? '.' : ',';
      decimalGiven_ = true;
      return std::nullopt;
    }
    if (name == "--order") {
      if (value != "pitch,roll" && value != "roll,pitch") {
        return badValue(name, value, "expected pitch,roll or roll,pitch");
      }
      form.rollFirst = value == "roll,pitch";
      return std::nullopt;
    }
    if (name == "--prefix" || name == "--separator" || name == "--suffix") {
      const std::optional<std::string> text = unescape(value);
      if (!text) return badValue(name, value, "a backslash starts \\t, \\r, \\n or \\\\ only");
      if (text->size() > kMaxRelayFraming) return badValue(name, value, "at most 64 characters");
      if (name == "--separator") {
        separator_ = *text;
        separatorText_ = value;
      } else {
        (name == "--prefix" ? form.prefix : form.suffix) = *text;
      }
      return std::nullopt;
    }
    if (name == "--listen") {
      const platform::Result<HostPort> port = parseHostPort("listen:" + value);
      if (!port) return badValue(name, value, "expected a port from 1 to 65535");
      options_.listenPort = port->port;
      return std::nullopt;
    }
    if (name == "--to") {
      const platform::Result<HostPort> target = parseHostPort(value);
      if (!target) return badValue(name, value, target.failure().reason);
      options_.targets.push_back(*target);
      return std::nullopt;
    }
    if (name == "--duration") {
      const std::optional<double> seconds = parseNumber(value);
      if (!seconds || !(*seconds > 0.0) || *seconds > kMaxDuration) {
        return badValue(name, value, "expected seconds above 0, at most seven days");
      }
      options_.duration = *seconds;
      return std::nullopt;
    }
    return Failure{"unknown option " + name};
  }

  platform::Result<RelayCommand> finish() {
    RelayForm& form = form_;
    if (formOption_.empty()) return Failure{"no input form given: use --bits, --range or --degrees"};
    const bool integers = form.numbers == Numbers::Integers;
    if (!integers && (centre_ || fullScaleGiven_)) {
      return Failure{std::string(centre_ ? "--centre" : "--full-scale") +
                     " belongs to --bits or --range"};
    }
    if (integers && decimalGiven_) return Failure{"--decimal belongs to --degrees"};
    if (integers) {
      form.centre = (static_cast<double>(form.minimum) + static_cast<double>(form.maximum)) / 2.0;
      if (centre_) {
        if (!(*centre_ > static_cast<double>(form.minimum) &&
              *centre_ < static_cast<double>(form.maximum))) {
          return badValue("--centre", centreText_, "expected a value strictly between " +
                                                  std::to_string(form.minimum) + " and " +
                                                  std::to_string(form.maximum));
        }
        form.centre = *centre_;
      }
    }
    const bool commaDecimals = !integers && form.decimalMark == ',';
    form.separator = separator_ ? *separator_ : commaDecimals ? ";" : ",";
    const std::string shown = separatorText_.empty() ? form.separator : separatorText_;
    if (form.separator.empty()) return badValue("--separator", shown, "expected some text");
    for (const char c : form.separator) {
      if (c >= '0' && c <= '9') {
        return badValue("--separator", shown, "a digit would run into the numbers");
      }
      if (!integers && c == form.decimalMark) {
        return badValue("--separator", shown,
                   commaDecimals ? "with --decimal comma the numbers hold commas (\"5,25,1,5\" "
                                   "reads two ways); use another, such as ';' or ' '"
                                 : "the numbers hold points; use another, such as ','");
      }
    }
    // Line ends at the end of a datagram are passed over, so a suffix ending in one is too.
    while (!form.suffix.empty() && (form.suffix.back() == '\r' || form.suffix.back() == '\n')) {
      form.suffix.pop_back();
    }
    if (options_.targets.empty()) {
      options_.targets = {{"127.0.0.1", app::kLeftProfile.udpPort},
                          {"127.0.0.1", app::kRightProfile.udpPort}};
    }
    options_.form = form;
    return RelayCommand{Asked::Run, options_};
  }

  RelayOptions options_;
  RelayForm form_;
  std::string formOption_;
  std::optional<double> centre_;
  std::string centreText_;
  bool fullScaleGiven_ = false;
  bool decimalGiven_ = false;
  std::optional<std::string> separator_;
  std::string separatorText_;
};

}  // namespace

platform::Result<RelayCommand> parseRelayArguments(int argc, const char* const* argv) {
  return RelayParser().run(argc, argv);
}

const char* const kRelayUsage =
    R"(Usage: brenik-relay --bits N | --range MIN:MAX | --degrees [options]

Listens on one UDP port for the angles a motion program sends, in the form told below,
and for every datagram it can read sends the message the Brenik receivers read,
"pitch,roll" in degrees with a point and three decimals, to both receivers. A datagram
it cannot read is counted and never forwarded.

A datagram must be PREFIX NUMBER SEPARATOR NUMBER SUFFIX and nothing else: blanks around
a number and a line end at the very end are allowed; at most 256 bytes in all and 24
characters a number.

Input (exactly one):
  --bits N                integers from 0 to 2^N-1, N from 1 to 32 (8: 0..255,
                          16: 0..65535)
  --range MIN:MAX         integers from MIN to MAX, MIN below MAX, both within
                          -4294967295..4294967295
  --degrees               degrees as decimal numbers ("5.25,-1.5"), no exponent
With integers (one outside the range is counted as out of range, never forwarded):
  --centre VALUE          the value that is level, 0 degrees; strictly between the
                          range's ends (default the middle: 127.5 for 8 bits)
  --full-scale DEGREES    degrees at the range's ends, above 0 and at most 90
                          (default 20): MIN is -DEGREES and MAX +DEGREES, each side of
                          the centre a straight line of its own, so an off-middle centre
                          gives the two sides different steps (--range 0:1000
                          --centre 200 --full-scale 10: 0 is -10, 100 is -5, 200 is 0,
                          600 is +5, 1000 is +10 degrees)
With degrees:
  --decimal point|comma   the decimal mark (default point); with comma the separator
                          may hold no comma and is ";" unless given: "5,25;-1,5" is
                          5.25 and -1.5, and "5,25,1,5" is unreadable, never guessed
The form:
  --order pitch,roll|roll,pitch
                          which axis comes first (default pitch,roll)
  --prefix TEXT           text before the first number (default none)
  --separator TEXT        text between the numbers, no digits (default ",")
  --suffix TEXT           text after the second number (default none);
                          in these three \t is a tab, \r and \n line ends, \\ a \
Where:
  --listen PORT           the UDP port to listen on, on every address of this PC
                          (default 33333)
  --to HOST:PORT          where to send; repeat for several (default 127.0.0.1:11111
                          and 127.0.0.1:22222, the left and right receivers)
Running:
  --status                a status line on standard output about once a second and at
                          the end: datagrams forwarded, per second, and unreadable
  --duration SECONDS      stop by itself after this long, as on Ctrl+C (at most seven
                          days; default: until Ctrl+C)
  -h, --help              show this help and exit
      --version           show the version and exit

Exit status: 0 when stopped (Ctrl+C or --duration), 1 when its port cannot be used, a
host cannot be found or this help or the version cannot be written, 2 for bad arguments
(also a --to that is its own port).

Examples (what the motion program sends -> what both receivers get):
  brenik-relay --bits 8                            "127,128" -> "-0.078,0.078"
  brenik-relay --bits 16 --full-scale 15 --order roll,pitch --prefix A --suffix Z
                                                   "A65535,0Z" -> "-15.000,15.000"
  brenik-relay --range 0:1000 --centre 200 --full-scale 10 --separator ";"
                                                   "100;600" -> "-5.000,5.000"
  brenik-relay --degrees --decimal comma           "5,25;-1,5" -> "5.250,-1.500"
  brenik-relay --degrees --listen 4123             "5.25,-1.5" -> "5.250,-1.500"
)";

}  // namespace bench
