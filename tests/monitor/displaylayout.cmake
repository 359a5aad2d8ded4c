# Tests of the display layout and the start button.
kelmar_add_test(tst_displaylayout SOURCES tst_displaylayout.cpp
  LIBS kelmar_monitor_logic kelmar_testsupport)
kelmar_add_test(tst_startdisplay SOURCES tst_startdisplay.cpp
  LIBS kelmar_startlayout kelmar_testsupport)
