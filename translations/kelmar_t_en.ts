<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_TW">
<context>
    <name>kelmar::CommandLine</name>
    <message>
        <source>用法 (usage):
  Kelmar_T [--lang LANGUAGE]       視窗 (the windows)
  Kelmar_T --service [FOLDER] [--no-record] [--lang LANGUAGE]
      不開視窗：依 FOLDER (預設為程式資料夾) 的 setup.ini、meters.ini、publish.ini
      連線、輪詢、記錄並發佈；訊息寫到標準錯誤輸出
      (no window: connects, polls, records and publishes as setup.ini, meters.ini
      and publish.ini in FOLDER say, the program&apos;s own folder by default;
      notices go to standard error. SIGTERM or SIGINT ends it, SIGHUP reads
      meters.ini and publish.ini again)
      --no-record   不寫記錄檔 (no record files)
  --lang zh_TW | en  介面語言，預設依系統語言 (the interface&apos;s language;
      the system&apos;s by default)
  Kelmar_T --help                  本說明 (this text)
</source>
        <translation>Usage:
  Kelmar_T [--lang LANGUAGE]       the windows
  Kelmar_T --service [FOLDER] [--no-record] [--lang LANGUAGE]
      no window: connects, polls, records and publishes as setup.ini, meters.ini
      and publish.ini in FOLDER say, the program&apos;s own folder by default;
      notices go to standard error. SIGTERM or SIGINT ends it, SIGHUP reads
      meters.ini and publish.ini again
      --no-record   no record files
  --lang zh_TW | en  the interface&apos;s language, the system&apos;s by default
  Kelmar_T --help                  this text
</translation>
    </message>
    <message>
        <source>無法辨識的參數 (unknown argument): %1</source>
        <translation>Unknown argument: %1</translation>
    </message>
</context>
</TS>
