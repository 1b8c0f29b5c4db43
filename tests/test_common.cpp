// Shared helpers: complex arithmetic, fixed output formats, free records,
// the input reader, numbered units and the stop mechanism.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "common/cellmap.hpp"
#include "common/complex.hpp"
#include "common/format.hpp"
#include "common/input.hpp"
#include "common/stop.hpp"
#include "common/units.hpp"
#include "tests/test_support.hpp"

// --- complex arithmetic ---

TEST(ComplexArithmetic, ProductIsThePlainFourMultiplicationForm) {
  const dcomplex a(1.5, -2.0), b(0.25, 3.0);
  const dcomplex p = a * b;
  EXPECT_EQ(p.re, 1.5 * 0.25 - (-2.0) * 3.0);
  EXPECT_EQ(p.im, 1.5 * 3.0 + (-2.0) * 0.25);
}

TEST(ComplexArithmetic, SmithDivisionDividesByTheLargerComponentFirst) {
  // |im| > |re|: t = c/d, den = c*t + d.
  const dcomplex a(3.0, 4.0), b(1.0, 2.0);
  const double t = 1.0 / 2.0, den = 1.0 * t + 2.0;
  const dcomplex q = a / b;
  EXPECT_EQ(q.re, (3.0 * t + 4.0) / den);
  EXPECT_EQ(q.im, (4.0 * t - 3.0) / den);
  EXPECT_NEAR(q.re, 2.2, 1e-15);
  EXPECT_NEAR(q.im, -0.4, 1e-15);
  // No overflow where the naive formula c*c + d*d would overflow.
  const dcomplex big(1e300, 1e300);
  const dcomplex one = big / big;
  EXPECT_DOUBLE_EQ(one.re, 1.0);
  EXPECT_DOUBLE_EQ(one.im, 0.0);
}

TEST(ComplexArithmetic, ReciprocalMatchesDivisionOfOne) {
  for (const dcomplex b : {dcomplex(2.0, 0.5), dcomplex(0.5, -2.0), dcomplex(-3.0, 0.0), dcomplex(0.0, 4.0)}) {
    const dcomplex r = reciprocal(b), q = dcomplex(1.0, 0.0) / b;
    EXPECT_EQ(r.re, q.re);
    EXPECT_EQ(r.im, q.im);
  }
}

TEST(ComplexArithmetic, SquareRootIsPrincipalAndModulusDoesNotOverflow) {
  const dcomplex s = sqrt(dcomplex(-4.0, 0.0));
  EXPECT_EQ(s.re, 0.0);
  EXPECT_EQ(s.im, 2.0);
  const dcomplex t = sqrt(dcomplex(-4.0, -0.0));
  EXPECT_EQ(t.im, -2.0) << "the cut must follow the sign of the imaginary part";
  EXPECT_DOUBLE_EQ(abs(dcomplex(3e300, 4e300)), 5e300);
  const dcomplex c = cube(dcomplex(0.0, 1.0));
  EXPECT_EQ(c.re, 0.0);
  EXPECT_EQ(c.im, -1.0);
}

TEST(CellMaps, AreColumnMajorWithLeadingDimensionSixtyOrTheirWidth) {
  RealMap map;
  map(2, 3) = 7.0;
  EXPECT_EQ(map.data[(3 - 1) * 60 + (2 - 1)], 7.0);
  EXPECT_EQ(map(1, 1), 0.0) << "maps start cleared";
  map.resize(40, 30);
  EXPECT_EQ(map.ld, 60) << "a mesh up to 60 x 60 keeps the layout of the fixed arrays";
  EXPECT_EQ(map(2, 3), 0.0) << "a resized map starts cleared";
  RealMap wide;
  wide.resize(160, 70);
  wide(1, 2) = 1.0;
  wide(160, 70) = 2.0;
  EXPECT_EQ(wide.data[160], 1.0);
  EXPECT_EQ(wide.data.back(), 2.0) << "the last cell is the last value";
}

// --- fixed output formats ---

TEST(GeneralFormat, FixedNotationInsideTheRangeWithFourTrailingBlanks) {
  EXPECT_EQ(format_g(0.0, 15, 5), "     0.0000    ");
  EXPECT_EQ(format_g(0.1, 15, 5), "    0.10000    ");
  EXPECT_EQ(format_g(1.2345, 15, 5), "     1.2345    ");
  EXPECT_EQ(format_g(-1.5, 15, 5), "    -1.5000    ");
  EXPECT_EQ(format_g(3456.78, 15, 5), "     3456.8    ");
  EXPECT_EQ(format_g(99999.4, 15, 5), "     99999.    ");
  EXPECT_EQ(format_g(0.09999951, 15, 5), "    0.10000    ") << "rounds up into the fixed range";
}

TEST(GeneralFormat, ExponentNotationOutsideTheRange) {
  EXPECT_EQ(format_g(0.0999994, 15, 5), "    0.99999E-01");
  EXPECT_EQ(format_g(99999.5, 15, 5), "    0.10000E+06") << "99999.5 rounds to 100000";
  EXPECT_EQ(format_g(123456.0, 15, 5), "    0.12346E+06");
  EXPECT_EQ(format_g(-2.5e-7, 15, 5), "   -0.25000E-06");
  EXPECT_EQ(format_g(1e-300, 15, 5), "    0.10000-299");
  EXPECT_EQ(format_g(std::numeric_limits<double>::quiet_NaN(), 15, 5).size(), 15u);
}

TEST(GeneralFormat, NarrowFieldsDropTheLeadingZero) {
  EXPECT_EQ(format_g(0.4, 10, 5), ".40000    ");
  EXPECT_EQ(format_g(0.7, 10, 5).size(), 10u);
  EXPECT_EQ(format_g(1.25, 10, 5), "1.2500    ");
  EXPECT_EQ(format_g(2.5e-3, 10, 5), ".25000E-02");
}

TEST(ExponentFormat, TenDigitsInTwenty) {
  EXPECT_EQ(format_e(1234.5, 20, 10), "    0.1234500000E+04");
  EXPECT_EQ(format_e(-920.0, 20, 10), "   -0.9200000000E+03");
  EXPECT_EQ(format_e(0.0, 20, 10), "    0.0000000000E+00");
}

TEST(FixedFormat, RunningTimeField) {
  EXPECT_EQ(format_f(0.000123, 15, 6), "       0.000123");
  EXPECT_EQ(format_f(12.5, 15, 6), "      12.500000");
}

TEST(FreeRecords, LabelsKeepTheirSpacingAndRealsRoundTrip) {
  ScratchDirectory dir;
  open_unit(40, "records.txt");
  record(40, " mesh size h ", 0.1);
  record(40);
  record(40, "j,k", 3, 4, 1.0 / 3.0);
  close_unit(40);
  const auto lines = split_lines(read_file("records.txt"));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], " mesh size h  0.1");
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2], "j,k 3 4 0.3333333333333333");
  EXPECT_EQ(std::stod("0.3333333333333333"), 1.0 / 3.0);
}

TEST(Units, AnUnconnectedUnitWritesToItsDefaultFile) {
  ScratchDirectory dir;
  open_unit(54, "xlambda1_gnu");
  record(54, 1, 1, 2.0);
  close_unit(54);
  record(54, 5.0, 6.0);
  close_all_units();
  EXPECT_EQ(read_file("xlambda1_gnu"), "1 1 2\n");
  EXPECT_EQ(read_file("fort.54"), "5 6\n");
}

TEST(Units, SilencedOutputCreatesTouchesAndWritesNoFile) {
  ScratchDirectory dir;
  write_file("xmu1_gnu", "kept\n");
  open_unit(41, "table.txt");
  record(41, "before");
  {
    CapturedOutput out;
    {
      OutputDiscarded quiet;
      {
        OutputDiscarded nested;
      }
      EXPECT_TRUE(output_discarded()) << "the outer silence outlives a nested one";
      open_unit(42, "xmu1_gnu");  // an existing file must not be truncated
      record(42, 1, 1, 2.0);
      close_unit(42);
      record(54, 5.0);     // no default file fort.54 either
      record(41, "while silent");
      close_unit(41);      // the unit opened before the silence stays open
      record(stdout_unit, "echo");
    }
    record(stdout_unit, "after");
    EXPECT_EQ(out.text(), "after\n");
  }
  record(41, "after");
  close_all_units();
  EXPECT_EQ(read_file("xmu1_gnu"), "kept\n");
  EXPECT_FALSE(std::filesystem::exists("fort.54"));
  EXPECT_EQ(read_file("table.txt"), "before\nafter\n");
}

// --- input ---

TEST(FreeFormatInput, SkipsBlankLinesAndIgnoresTheRestOfTheLine) {
  std::istringstream text("\n   \n 2.5, trailing words\n  7 comment\n1.0D-3\n-4.E2\n.5\n");
  LineInput in(text, "deck");
  EXPECT_EQ(in.free_real("a"), 2.5);
  EXPECT_EQ(in.line_number(), 3);
  EXPECT_EQ(in.free_integer("b"), 7);
  EXPECT_EQ(in.free_real("c"), 1.0e-3);
  EXPECT_EQ(in.free_real("d"), -400.0);
  EXPECT_EQ(in.free_real("e"), 0.5);
}

TEST(FreeFormatInput, RejectsMalformedNumbers) {
  double real = 0;
  std::int32_t integer = 0;
  for (const char* bad : {"", "abc", "1.2.3", "1e", "e5", "1.0x", "--1", "1e999"}) {
    EXPECT_FALSE(parse_free_real(bad, real)) << bad;
  }
  for (const char* bad : {"", "1.0", "2147483648", "12a", "+"}) {
    EXPECT_FALSE(parse_free_integer(bad, integer)) << bad;
  }
  EXPECT_TRUE(parse_free_integer("-2147483648", integer));
  EXPECT_EQ(integer, -2147483647 - 1);
}

TEST(ColumnInput, ImpliedDecimalScalesByTenToTheMinusTen) {
  double value = 0;
  bool implied = false;
  ASSERT_TRUE(parse_column_real("2", 10, value, implied));
  EXPECT_TRUE(implied);
  EXPECT_EQ(value, 2e-10);
  ASSERT_TRUE(parse_column_real("2e9", 10, value, implied));
  EXPECT_EQ(value, 0.2);
  ASSERT_TRUE(parse_column_real("12345678901", 10, value, implied));
  EXPECT_EQ(value, 1.2345678901);
  ASSERT_TRUE(parse_column_real("2.25e9", 10, value, implied));
  EXPECT_FALSE(implied);
  EXPECT_EQ(value, 2.25e9);
  ASSERT_TRUE(parse_column_real("1.5D+3", 10, value, implied));
  EXPECT_EQ(value, 1500.0);
  ASSERT_TRUE(parse_column_real("", 10, value, implied));
  EXPECT_EQ(value, 0.0);
}

TEST(ColumnInput, ReadsOnlyItsColumnsAndBlankLinesReadAsZero) {
  std::istringstream text("    0 and a comment\n\n 1 2 \n2.5                 99.0 past column 20\n1 2 3\n");
  LineInput in(text, "deck");
  EXPECT_EQ(in.column_integer("key_model", 5), 0);
  EXPECT_EQ(in.column_integer("model", 5), 0) << "a blank line reads as 0";
  EXPECT_EQ(in.column_integer("nmat", 5), 12) << "blanks inside the field are ignored";
  EXPECT_EQ(in.column_real("akf", 20), 2.5);
  EXPECT_EQ(in.line_number(), 4);
  EXPECT_NEAR(in.column_real("ro2", 20), 123e-10, 1e-24) << "blanks ignored, no point: implied decimal";
}

TEST(InputErrors, NameTheSourceTheLineTheItemAndWhatWasFound) {
  CapturedOutput out;
  std::istringstream text("1.0\nabc\n");
  LineInput in(text, "standard input");
  in.free_real("fmin");
  try {
    in.free_real("fmax");
    FAIL() << "a non-numeric item must stop the run";
  } catch (const StopRun& stop) {
    EXPECT_EQ(stop.code, stop_input_error);
  }
  const std::string message = out.text();
  EXPECT_NE(message.find("standard input, line 2"), std::string::npos) << message;
  EXPECT_NE(message.find("fmax"), std::string::npos) << message;
  EXPECT_NE(message.find("\"abc\""), std::string::npos) << message;
}

TEST(InputErrors, EarlyEndOfInputStops) {
  CapturedOutput out;
  std::istringstream text("1.0\n\n");
  LineInput in(text, "standard input");
  in.free_real("fmin");
  EXPECT_THROW(in.free_integer("nfreq"), StopRun);
  EXPECT_NE(out.text().find("end of the input"), std::string::npos);
}

TEST(InputErrors, AnEarlyEndNamesTheLineWhereTheItemBelongs) {
  struct Case {
    const char* text;
    int items_before;  // read before the missing one
    const char* line;
  };
  const Case cases[] = {
      {"", 0, "deck, line 1:"},              // an empty input
      {"1.0\n", 1, "deck, line 2:"},         // cut after line 1
      {"1.0", 1, "deck, line 2:"},           // a last line without its newline still counts
      {"1.0\n\n  \n", 1, "deck, line 4:"},  // blank lines read before the end
  };
  for (const Case& c : cases) {
    CapturedOutput out;
    std::istringstream in(c.text);
    LineInput input(in, "deck");
    for (int i = 0; i < c.items_before; ++i) input.free_real("x");
    try {
      input.free_real("item");
      ADD_FAILURE() << "input \"" << c.text << "\" must end early";
    } catch (const StopRun& stop) {
      EXPECT_EQ(stop.message.rfind(c.line, 0), 0u) << "input \"" << c.text << "\": " << stop.message;
      EXPECT_NE(stop.message.find("cannot read item: a real number expected, found the end of the input"),
                std::string::npos)
          << stop.message;
    }
  }
}

TEST(CellRecords, NeedThreeItemsAndTakeTheThird) {
  CapturedOutput out;
  std::istringstream text("1 1 0.25\n\n2,1, 0.5 extra\n3 , 1 , 0.75\n4 1 ,, 0.5\n");
  LineInput in(text, "binary_ice_gnu.dat");
  EXPECT_EQ(in.cell_record_value("the value", 1, 1), 0.25);
  EXPECT_EQ(in.cell_record_value("the value", 2, 1), 0.5);
  EXPECT_EQ(in.cell_record_value("the value", 3, 1), 0.75) << "a comma with blanks around it separates items";
  EXPECT_THROW(in.cell_record_value("the value", 4, 1), StopRun) << "two commas leave an item out";
  const std::string message = out.text();
  EXPECT_NE(message.find("binary_ice_gnu.dat, line 5"), std::string::npos) << message;
}

TEST(StopMechanism, AStopCarriesTheMessageItWrites) {
  CapturedOutput out;
  try {
    stop_run(99, record_text("ESP=", -3) + "\n" + record_text("FLAG=", 7, 0.5));
    FAIL() << "stop_run returned";
  } catch (const StopRun& stop) {
    EXPECT_EQ(stop.code, 99);
    EXPECT_EQ(stop.message, "ESP= -3\nFLAG= 7 0.5");
  }
  EXPECT_EQ(out.text(), "ESP= -3\nFLAG= 7 0.5\n") << "the same text a record of those items writes";
}

TEST(StopMechanism, ExitStatusIsTheLowEightBits) {
  ScratchDirectory dir;
  open_unit(75, "vp_anal.phiw");
  record(75, 1.0, 2.0);
  EXPECT_EQ(finish_run(StopRun{45678, {}}), 110);
  EXPECT_EQ(read_file("vp_anal.phiw"), "1 2\n") << "result files are flushed at a stop";
  EXPECT_FALSE(unit_is_open(75));
  EXPECT_EQ(finish_run(StopRun{40, {}}), 40);
}
