// Types of the vorn package: the assembler as a WebAssembly module, the same core as the
// command line.

/** Options of one assembly. */
export interface AssembleOptions {
  /**
   * Also give the listing: every code word and data word with its source line, and the
   * program's symbols. The object is the same either way.
   * @example vorn.assemble(text, 'prog.obj', {listing: true}).listing?.symbols
   */
  listing?: boolean;
}

/** One code word of the listing. */
export interface CodeRow {
  /** The code address. @example 0 */
  address: number;
  /** The four integers the object file holds for it. @example [15, 1, 0, 0] */
  words: [number, number, number, number];
  /** The line of the instruction that filled it (1 is the first); 0 for none. @example 6 */
  line: number;
}

/** One data word of the listing. */
export interface DataRow {
  /** The data address. @example 100 */
  address: number;
  /** Its value, as in the object file. @example 7 */
  value: number;
  /** The line of the data item. @example 17 */
  line: number;
}

/** One symbol the program defines. */
export interface SymbolRow<Text> {
  /** Its name, upper-cased as the assembler keeps it. @example 'LOOP' */
  name: Text;
  /** A label (a code address) or a constant of the .SYMBOL section. @example 'label' */
  kind: 'label' | 'constant';
  /** Its value. @example 2 */
  value: number;
  /** The line that defines it. @example 8 */
  line: number;
}

/** A place where one of the program's names stands. */
export interface NameUse<Text> {
  /** The name, upper-cased. @example 'LOOP' */
  name: Text;
  /** Its line (1 is the first). @example 9 */
  line: number;
  /** Its first byte on the line (a byte-order mark counts on line 1). @example 1 */
  column: number;
  /** Its length in bytes, without a label's ":" or a prefix. @example 4 */
  length: number;
  /** True where a label or a constant is defined, false where it is used. @example true */
  definition: boolean;
}

/** Where each word and symbol came from, when asked for with {listing: true}. */
export interface Listing<Text> {
  /** Every code address from 0 to the code end, when the assembly succeeds. */
  code: CodeRow[];
  /** Every data word in order, when the assembly succeeds. */
  data: DataRow[];
  /** The program's symbols in the order the source defines them, when it succeeds. */
  symbols: SymbolRow<Text>[];
  /**
   * Every place one of the program's own names stands (not the mnemonics and registers), in
   * the order of the source; when the assembly fails, those before the error.
   */
  uses: NameUse<Text>[];
  /**
   * The line the diagnostic concerns, for errors of either pass (for a pass-two error, the
   * first use that failed); 0 when there is none. @example 12
   */
  errorLine: number;
  /**
   * Where on `errorLine` the token the diagnostic names begins, in bytes from the line's start
   * (a byte-order mark counts on line 1). @example 4
   */
  errorColumn: number;
  /** That token's length in bytes; 0 when the diagnostic names the whole line. @example 7 */
  errorLength: number;
}

/** What one assembly gives: exactly what the command line prints and writes. */
export interface Result<Text> {
  /** True when both passes completed and an object was made. @example true */
  ok: boolean;
  /**
   * What the command line prints: empty on success, else the one diagnostic, newline-ended.
   * @example 'line 3 error: undefined op symbol FOO\nFOO R1\n'
   */
  output: Text;
  /** The object file's text when ok, else empty. @example 'var obj =[  // prog.obj\n...' */
  object: Text;
  /** With {listing: true} only. */
  listing?: Listing<Text>;
}

/** One mnemonic of the machine, from the assembler's own table. */
export interface Instruction {
  /** @example 'ADD' */
  mnemonic: string;
  /** Its operation number. @example 32 */
  op: number;
  /**
   * Its operand forms in source syntax; empty for a mnemonic that cannot be assembled.
   * @example ['REG REG REG', 'REG REG #VALUE']
   */
  forms: readonly string[];
  /**
   * For each form, the operation number an instruction of that form is written with in the
   * object file (a jump is written as JF, a move as OR). @example [32, 10]
   */
  writtenOps: readonly number[];
}

/** The command line's whole-line messages, each with its newline. */
export interface Messages {
  /** @example 'usage : vorn inputfile\n' */
  usage: string;
  /** @example 'input file not found\n' */
  inputFileNotFound: string;
  /** @example 'object file would replace source\n' */
  objectWouldReplaceSource: string;
  /** @example 'error: cannot write object file\n' */
  cannotWriteObject: string;
  /** @example 'error: cannot read input file\n' */
  cannotReadInput: string;
  /** @example 'vorn: cannot write standard output\n' */
  cannotWriteStdout: string;
  /** @example 'error: out of memory\n' */
  outOfMemory: string;
}

/** The assembler, loaded. */
export interface Vorn {
  /**
   * Assembles one source in-process, as `vorn` does on the command line. Strings are taken
   * and given as UTF-8; a source of bytes (an ArrayBuffer, a Uint8Array or any other view)
   * gives Uint8Arrays, byte for byte as the files. `objectPath` goes into the object's header
   * line: pass objectPathFor(sourcePath). An assembly error is a result, and so is a source
   * too large for the module's memory ("error: out of memory"); a source or path that is
   * neither text nor bytes throws a TypeError.
   * @example vorn.assemble('.SYMBOL\n.CODE 0\nRET R1\n.DATA 0\n.END\n', 'prog.obj').ok === true
   */
  assemble(source: string, objectPath: string | ArrayBuffer | ArrayBufferView, options?: AssembleOptions): Result<string>;
  assemble(source: ArrayBuffer | ArrayBufferView, objectPath: string | ArrayBuffer | ArrayBufferView,
           options?: AssembleOptions): Result<Uint8Array>;
  assemble(source: string | ArrayBuffer | ArrayBufferView, objectPath: string | ArrayBuffer | ArrayBufferView,
           options?: AssembleOptions): Result<string> | Result<Uint8Array>;
  /**
   * The object file's path for a source path, by the command line's rule; bytes for bytes (a
   * file name need not be UTF-8).
   * @example vorn.objectPathFor('src/prog.s') === 'src/prog.obj'
   */
  objectPathFor(sourcePath: string): string;
  objectPathFor(sourcePath: ArrayBuffer | ArrayBufferView): Uint8Array;
  objectPathFor(sourcePath: string | ArrayBuffer | ArrayBufferView): string | Uint8Array;
  /** Every mnemonic with its number and operand forms. @example vorn.instructions[0].mnemonic */
  readonly instructions: readonly Instruction[];
  /** The register names. @example vorn.registers[31] === 'R31' */
  readonly registers: readonly string[];
  /** The command line's messages, for tools that act as it does. @example vorn.messages.usage */
  readonly messages: Readonly<Messages>;
  /**
   * Every message of the two passes as it stands in a diagnostic, for tools that explain them
   * (one that breaks the diagnostic's first line is given without its newline).
   * @example vorn.assemblyMessages.includes('undefined op')
   */
  readonly assemblyMessages: readonly string[];
}

/**
 * Loads the assembler once (compiling the WebAssembly module) and gives it; later calls give
 * the same one. Where it cannot be loaded (no WebAssembly, too little memory) it rejects with
 * an Error whose message starts "vorn: ", and prints nothing.
 * @example const vorn = await load();
 */
export function load(): Promise<Vorn>;
export default load;
