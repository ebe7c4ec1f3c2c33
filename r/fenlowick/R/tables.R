# How tables travel between R and the core: data frames are written as CSV text and read by
# the same CSV reader as the command-line tool's files, so that the same column rules and the
# same messages apply; the core's result tables come back as its CSV texts and are read into
# data frames here.

# A table argument as the glue takes it: a CSV file's path, a data frame as text, or for an
# optional table NULL.
table_argument <- function(x, what, optional = FALSE) {
  if (is.null(x) && optional) {
    return(NULL)
  }
  if (is.character(x) && length(x) == 1L) {
    return(list(path = path.expand(x)))
  }
  if (is.data.frame(x)) {
    return(list(text = csv_text(x), name = paste(what, "data frame")))
  }
  stop(what, " must be a data frame or the path of a CSV file", call. = FALSE)
}

# The cells of a column as the CSV text writes them: numbers with up to 15 significant
# digits (a number's typed decimals, such as the trailing zero of -21.30, are not kept: give
# such a column as character, or the file), NA as an empty cell.
cell_texts <- function(column) {
  texts <- if (is.numeric(column)) {
    format_number(column)
  } else {
    as.character(column)
  }
  texts[is.na(column)] <- ""
  texts
}

format_number <- function(x) {
  out <- formatC(x, digits = 15, format = "fg")
  out <- trimws(out)
  out[is.na(x)] <- ""
  out
}

csv_quote <- function(texts) {
  paste0("\"", gsub("\"", "\"\"", enc2utf8(texts), fixed = TRUE), "\"")
}

csv_text <- function(frame) {
  columns <- lapply(frame, function(column) csv_quote(cell_texts(column)))
  header <- paste(csv_quote(names(frame)), collapse = ",")
  rows <- if (nrow(frame) == 0L) character(0) else do.call(paste, c(columns, sep = ","))
  paste0(paste(c(header, rows), collapse = "\n"), "\n")
}

# A number or text argument as the program reads it ("1", "0.15").
number_argument <- function(x, what) {
  if (is.null(x) || length(x) != 1L || is.na(x)) {
    stop(what, " must be a single number", call. = FALSE)
  }
  if (is.numeric(x)) format_number(x) else as.character(x)
}

# The seed as a whole number's digits; a number above 2^53 cannot be held exactly by a double,
# so give such a seed as text.
seed_argument <- function(seed) {
  if (is.numeric(seed) && length(seed) == 1L && !is.na(seed) && seed >= 0 &&
      seed == floor(seed) && seed <= 2^53) {
    return(formatC(seed, format = "f", digits = 0))
  }
  if (is.character(seed) && length(seed) == 1L) {
    return(seed)
  }
  stop("seed must be a whole number from 0 to 18446744073709551615 (give one above 2^53 as text)",
       call. = FALSE)
}

# Raises the program's message as an R error of class fenlowick_error.
fenlowick_stop <- function(message, call = sys.call(-1L)) {
  stop(structure(class = c("fenlowick_error", "error", "condition"),
                 list(message = message, call = call)))
}

# Calls the glue; a refusal becomes an R error carrying the program's message.
call_core <- function(result, call) {
  if (!is.null(result[["error"]])) {
    fenlowick_stop(result[["error"]], call)
  }
  result
}

integer_columns <- c("consumer", "draws", "draws_feasible", "consumers")
text_columns <- c("consumers_without_solution")

# One of the core's CSV texts as a data frame: the grouping factors, the sources and the
# tracers as factors (levels in the order of the input tables, or the input data frame's own
# levels), counts as integers, every other column as numbers (empty cells as NA).
read_core_table <- function(text, facts, consumers = NULL) {
  if (!nzchar(text)) {
    return(NULL)
  }
  frame <- utils::read.csv(text = text, colClasses = "character", na.strings = character(0),
                           check.names = FALSE, encoding = "UTF-8")
  for (name in names(frame)) {
    frame[[name]] <- core_column(name, frame[[name]], facts, consumers)
  }
  frame
}

core_column <- function(name, values, facts, consumers) {
  factor_index <- match(name, facts$factor_columns)
  if (!is.na(factor_index)) {
    levels <- facts$levels[[factor_index]]
    original <- if (is.data.frame(consumers)) consumers[[facts$factors[factor_index]]]
    if (is.factor(original)) {
      levels <- union(levels(original), levels)
    }
    return(factor(values, levels = levels))
  }
  if (name == "source") {
    return(factor(values, levels = facts$sources))
  }
  if (name == "tracer") {
    return(factor(values, levels = facts$tracers))
  }
  if (name %in% text_columns) {
    return(values)
  }
  numbers <- as.numeric(values)
  if (name %in% integer_columns) as.integer(numbers) else numbers
}

show_notes <- function(facts) {
  for (note in facts$notes) {
    message("note: ", note)
  }
}
