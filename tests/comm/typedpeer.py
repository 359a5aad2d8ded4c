#!/usr/bin/python3
"""A Modbus TCP server on 127.0.0.1:PORT, unit 1: argument i (FUNCTION:TYPE:ORDER:VALUE)
packed by pymodbus at register 4 * i of the holding (3) or input (4) registers."""
import sys

from pymodbus.constants import Endian
from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.payload import BinaryPayloadBuilder
from pymodbus.server import StartTcpServer

# ORDER: byte order within a word, word order.
ORDERS = {"ABCD": (Endian.Big, Endian.Big), "CDAB": (Endian.Big, Endian.Little),
          "BADC": (Endian.Little, Endian.Big), "DCBA": (Endian.Little, Endian.Little)}
ADD = {"int16": "add_16bit_int", "uint16": "add_16bit_uint", "int32": "add_32bit_int",
       "uint32": "add_32bit_uint", "int64": "add_64bit_int", "uint64": "add_64bit_uint",
       "float32": "add_32bit_float", "float64": "add_64bit_float"}

blocks = {"3": [0] * 256, "4": [0] * 256}
for i, entry in enumerate(sys.argv[2:]):
    function, kind, order, value = entry.split(":")
    byteorder, wordorder = ORDERS[order]
    builder = BinaryPayloadBuilder(byteorder=byteorder, wordorder=wordorder)
    getattr(builder, ADD[kind])(float(value) if kind.startswith("float") else int(value))
    registers = builder.to_registers()
    blocks[function][4 * i:4 * i + len(registers)] = registers

unit = ModbusSlaveContext(hr=ModbusSequentialDataBlock(0, blocks["3"]),
                          ir=ModbusSequentialDataBlock(0, blocks["4"]), zero_mode=True)
StartTcpServer(context=ModbusServerContext(slaves={1: unit}, single=False),
               address=("127.0.0.1", int(sys.argv[1])))
