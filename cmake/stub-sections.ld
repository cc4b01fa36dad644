/* Section rules for SETUP.exe, added to the linker's default script (INSERT keeps the rest).

   The stub starts at its own entry (setup/main.cpp), without the C runtime's start-up, so
   nothing would run static constructors: a link that brings any in is refused.

   The stub never unwinds: it has no exception handlers, and its own code is compiled without
   unwind tables. The tables that library helpers bring along (.pdata/.xdata on x64, .eh_frame
   on x86) are dropped; each would cost a section of its own in the file. */
SECTIONS
{
  /DISCARD/ : { *(.pdata*) *(.xdata*) *(.eh_frame*) }
  .stub_ctors : { KEEP (*(.ctors)) KEEP (*(.ctors.*)) KEEP (*(.init_array*)) }
}
INSERT AFTER .text;
ASSERT (SIZEOF (.stub_ctors) == 0, "SETUP.exe runs no static constructors (it has its own entry point); remove them")
