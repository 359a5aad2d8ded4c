# Tests of the meter table and the meter setup window.
kelmar_add_test(tst_metertable SOURCES tst_metertable.cpp LIBS kelmar_settings)
kelmar_add_test(tst_form4 SOURCES tst_form4.cpp LIBS kelmar_settings kelmar_testsupport)
