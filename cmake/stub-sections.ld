/* Section rules for SETUP.exe, added to the linker's default script (INSERT keeps the rest).

   The stub starts at its own entry (setup/main.cpp), without the C runtime's start-up, so
   nothing would run static constructors: a link that brings any in is refused.

   The x86 stub never unwinds and is compiled without unwind tables; the DWARF tables that
   library helpers bring along (.eh_frame) are dropped, each would cost a section of its own in
   the file. The x64 stub keeps its .pdata and .xdata: they are the system's own unwind data. */
SECTIONS
{
  /DISCARD/ : { *(.eh_frame*) }
  .stub_ctors : { KEEP (*(.ctors)) KEEP (*(.ctors.*)) KEEP (*(.init_array*)) }
}
INSERT AFTER .text;
ASSERT (SIZEOF (.stub_ctors) == 0, "SETUP.exe runs no static constructors (it has its own entry point); remove them")

/* The relocation blocks that the linker makes and an empty one that cmake/empty-reloc.s gives
   (kept, though nothing refers to it), in the section the relocation directory names. */
SECTIONS
{
  .reloc BLOCK(__section_alignment__) : { KEEP (*(.reloc)) }
}
INSERT BEFORE .reloc;
